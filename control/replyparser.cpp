#include "control/replyparser.h"

#include "platform/automation/numbertext.h"

#include <cmath>
#include <limits>
#include <string>

namespace replyparser {
namespace {

bool isIgnoredBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Copies the longest prefix that can form a number, skipping blanks, into a plain C locale
// number text ("-12.5e3").
std::string numberPrefix(QByteArrayView text)
{
    std::string out;
    enum class Stage { Sign, Integer, Fraction, ExponentSign, Exponent } stage = Stage::Sign;
    bool haveMantissaDigit = false;
    for (char c : text) {
        if (isIgnoredBlank(c)) {
            continue;
        }
        if ((stage == Stage::Sign) && (c == '+' || c == '-')) {
            out += c;
            stage = Stage::Integer;
        } else if ((stage == Stage::Sign || stage == Stage::Integer || stage == Stage::Fraction) &&
                   isDigit(c)) {
            out += c;
            haveMantissaDigit = true;
            if (stage == Stage::Sign) {
                stage = Stage::Integer;
            }
        } else if ((stage == Stage::Sign || stage == Stage::Integer) && c == '.') {
            out += c;
            stage = Stage::Fraction;
        } else if (haveMantissaDigit && (stage == Stage::Integer || stage == Stage::Fraction) &&
                   (c == 'e' || c == 'E' || c == 'd' || c == 'D')) {
            out += 'e';
            stage = Stage::ExponentSign;
        } else if (stage == Stage::ExponentSign && (c == '+' || c == '-' || isDigit(c))) {
            out += c;
            stage = Stage::Exponent;
        } else if (stage == Stage::Exponent && isDigit(c)) {
            out += c;
        } else {
            break;
        }
    }
    return haveMantissaDigit ? out : std::string();
}

} // namespace

qint32 leadingNumber(QByteArrayView text)
{
    std::string number = numberPrefix(text);
    if (number.empty()) {
        return 0;
    }
    // A dangling exponent mark ("12e", "12e-") reads as the mantissa alone.
    while (!number.empty() &&
           (number.back() == 'e' || number.back() == '+' || number.back() == '-')) {
        number.pop_back();
    }
    // parseNumber ignores the process locale that Qt installs, and tells a value too large for a
    // double from one too small by its decimal magnitude, not by the exponent's sign alone.
    const automation::Converted<double> parsed = automation::parseNumber(number);
    double value = parsed.value;
    if (parsed.error == automation::RuntimeError::Overflow) {
        value = number.front() == '-' ? -HUGE_VAL : HUGE_VAL;
    } else if (!parsed.ok()) {
        return 0;
    }
    const double rounded = std::nearbyint(value); // default rounding mode: halves to even
    constexpr double lowest = std::numeric_limits<qint32>::min();
    constexpr double highest = std::numeric_limits<qint32>::max();
    if (std::isnan(rounded)) {
        return 0;
    }
    if (rounded <= lowest) {
        return std::numeric_limits<qint32>::min();
    }
    if (rounded >= highest) {
        return std::numeric_limits<qint32>::max();
    }
    return static_cast<qint32>(rounded);
}

QByteArrayView afterStatus(QByteArrayView reply)
{
    return reply.size() > 4 ? reply.sliced(4) : QByteArrayView();
}

QByteArrayView afterFirstSpace(QByteArrayView text)
{
    const qsizetype space = text.indexOf(' ');
    return space < 0 ? text : text.sliced(space + 1);
}

QByteArrayView withoutLineEnd(QByteArrayView text)
{
    return text.size() > 2 ? text.first(text.size() - 2) : QByteArrayView();
}

bool isPositive(QByteArrayView reply)
{
    return reply.startsWith("+OK");
}

} // namespace replyparser
