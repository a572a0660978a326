// The reply parsers on hostile replies: the STAT, UIDL and LIST readings of any reply line, and
// leadingNumber against a slow reference.
//
// Input: byte 0 picks the alphabet. Even: the rest is the reply as it is. Odd: each further byte
// is mapped onto the characters of numbers and blanks, so that long numbers with fractions,
// exponents, signs and blanks in odd places are common.
#include "control/replyparser.h"
#include "fuzzcheck.h"

#include <QByteArray>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

constexpr QByteArrayView kNumberAlphabet("0123456789000000+-.eEdD \t\n\rx");

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

qsizetype digitsFrom(const QByteArray& text, qsizetype at)
{
    qsizetype end = at;
    while (end < text.size() && isDigit(text[end])) {
        ++end;
    }
    return end;
}

// The longest prefix of the blank-free text that is a number: sign, digits with an optional
// fraction (at least one digit in all), then an exponent only if it has a digit.
QByteArray longestNumber(const QByteArray& text)
{
    qsizetype at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        ++at;
    }
    const qsizetype integerEnd = digitsFrom(text, at);
    qsizetype end = integerEnd;
    qsizetype digits = integerEnd - at;
    if (end < text.size() && text[end] == '.') {
        const qsizetype fractionEnd = digitsFrom(text, end + 1);
        digits += fractionEnd - end - 1;
        end = fractionEnd;
    }
    if (digits == 0) {
        return {};
    }
    QByteArray number = text.first(end);
    if (end < text.size() && QByteArrayView("eEdD").contains(text[end])) {
        qsizetype exponentAt = end + 1;
        if (exponentAt < text.size() && (text[exponentAt] == '+' || text[exponentAt] == '-')) {
            ++exponentAt;
        }
        const qsizetype exponentEnd = digitsFrom(text, exponentAt);
        if (exponentEnd > exponentAt) {
            number += 'e' + text.sliced(end + 1, exponentEnd - end - 1);
        }
    }
    return number;
}

// Spaces, tabs and line feeds are ignored wherever they stand; the number is read by the C
// library (correctly rounded, any length), rounded half to even, and saturated.
qint32 referenceLeadingNumber(QByteArrayView text)
{
    QByteArray compact;
    for (const char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') {
            compact += c;
        }
    }
    const QByteArray number = longestNumber(compact);
    if (number.isEmpty()) {
        return 0;
    }
    const double value = std::strtod(number.constData(), nullptr);
    double rounded = std::floor(value);
    const double fraction = value - rounded;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0)) {
        rounded += 1;
    }
    if (rounded <= std::numeric_limits<qint32>::min()) {
        return std::numeric_limits<qint32>::min();
    }
    if (rounded >= std::numeric_limits<qint32>::max()) {
        return std::numeric_limits<qint32>::max();
    }
    return qint32(rounded);
}

void checkFields(QByteArrayView reply)
{
    using namespace replyparser;
    const QByteArrayView status = afterStatus(reply);
    fuzzcheck::require(reply.size() > 4 ? status == reply.sliced(4) : status.isEmpty(),
                       "afterStatus");
    const QByteArrayView field = afterFirstSpace(status);
    const qsizetype space = status.indexOf(' ');
    fuzzcheck::require(field == (space < 0 ? status : status.sliced(space + 1)), "afterFirstSpace");
    const QByteArrayView line = withoutLineEnd(field);
    fuzzcheck::require(field.size() > 2 ? line == field.first(field.size() - 2) : line.isEmpty(),
                       "withoutLineEnd");
    fuzzcheck::require(isPositive(reply) == reply.startsWith("+OK"), "isPositive");
}

void checkNumber(QByteArrayView text)
{
    const qint32 got = replyparser::leadingNumber(text);
    const qint32 want = referenceLeadingNumber(text);
    if (got != want) {
        fuzzcheck::fail("leadingNumber", QByteArray::number(got) + " from " + text.toByteArray(),
                        QByteArray::number(want));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    QByteArray reply(reinterpret_cast<const char*>(data) + 1, qsizetype(size) - 1);
    if (data[0] & 1) {
        for (char& c : reply) {
            c = kNumberAlphabet[static_cast<unsigned char>(c) % kNumberAlphabet.size()];
        }
    }
    checkFields(reply);
    checkNumber(reply);

    // The readings the control makes: STAT's count and size around the first space; the field
    // after the message number of UIDL and LIST, without its line end.
    using namespace replyparser;
    const QByteArrayView counts = afterStatus(reply);
    const qsizetype space = counts.indexOf(' ');
    if (space >= 0) {
        checkNumber(counts.first(space));
        checkNumber(counts.sliced(space + 1));
    }
    checkNumber(withoutLineEnd(afterFirstSpace(afterStatus(reply))));
    return 0;
}
