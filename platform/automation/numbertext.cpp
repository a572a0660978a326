// Formatting and parsing of numbers without the locale: hosts and files need one spelling.
#include "platform/automation/numbertext.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace automation {

namespace {

// Plain notation for exponents in [-5, 15): 1E+15 and 1E-06 switch to scientific.
constexpr int plainMinExponent = -5;
constexpr int plainMaxExponent = 15;

QByteArray plainText(const QByteArray& digits, int exponent)
{
    if (exponent < 0)
        return "0." + QByteArray(-exponent - 1, '0') + digits;
    const int integerDigits = exponent + 1;
    if (digits.size() <= integerDigits)
        return digits + QByteArray(integerDigits - digits.size(), '0');
    return digits.left(integerDigits) + '.' + digits.mid(integerDigits);
}

QByteArray scientificText(const QByteArray& digits, int exponent)
{
    QByteArray text = digits.left(1);
    if (digits.size() > 1)
        text += '.' + digits.mid(1);
    text += exponent < 0 ? "E-" : "E+";
    const QByteArray magnitude = QByteArray::number(std::abs(exponent));
    return text + (magnitude.size() < 2 ? "0" + magnitude : magnitude);
}

struct Mantissa {
    bool digitSeen = false;
    qsizetype firstSignificant = -1; // index into the text of the first non-zero digit
    qsizetype pointAt = -1;          // index of the decimal point, -1 when there is none
    qsizetype end = 0;               // index just past the mantissa
};

Mantissa scanMantissa(QByteArrayView text, qsizetype at)
{
    Mantissa m;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '.' && m.pointAt < 0) {
            m.pointAt = at;
        } else if (c >= '0' && c <= '9') {
            m.digitSeen = true;
            if (c != '0' && m.firstSignificant < 0)
                m.firstSignificant = at;
        } else {
            break;
        }
    }
    m.end = at;
    if (m.pointAt < 0)
        m.pointAt = at;
    return m;
}

// Index just past a valid exponent starting at `at`, or -1; `value` gets it, clamped far beyond
// any text's length, so that the exponent plus the mantissa's magnitude keeps its true sign.
qsizetype scanExponent(QByteArrayView text, qsizetype at, long& value)
{
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        ++at;
    const qsizetype digitsAt = at;
    value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min(value * 10 + (text[at] - '0'), 1'000'000'000'000'000L);
    if (at == digitsAt)
        return -1;
    if (text[digitsAt - 1] == '-')
        value = -value;
    return at;
}

} // namespace

QByteArray doubleText(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Infinity" : "Infinity";
    if (value == 0)
        return "0";
    // Shortest round-trip digits come from to_chars; only the layout is ours.
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::scientific);
    const QByteArray scientific(buffer, result.ptr - buffer);
    const qsizetype e = scientific.indexOf('e');
    const QByteArray digits = scientific.left(e).replace(".", "");
    const int exponent = scientific.mid(e + 1).toInt();
    const QByteArray text = exponent >= plainMinExponent && exponent < plainMaxExponent
                                ? plainText(digits, exponent)
                                : scientificText(digits, exponent);
    return value < 0 ? "-" + text : text;
}

Converted<double> parseNumber(QByteArrayView input)
{
    const QByteArrayView text = input.trimmed();
    qsizetype at = 0;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        ++at;
    const Mantissa mantissa = scanMantissa(text, at);
    if (!mantissa.digitSeen)
        return Converted<double>::failure(RuntimeError::TypeMismatch);
    long exponent = 0;
    qsizetype end = mantissa.end;
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E'))
        end = scanExponent(text, end + 1, exponent);
    if (end != text.size())
        return Converted<double>::failure(RuntimeError::TypeMismatch);

    // from_chars rejects a leading "+", which the grammar above allows.
    const qsizetype from = text[0] == '+' ? 1 : 0;
    double value = 0;
    const auto result = std::from_chars(text.data() + from, text.data() + text.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Out of range is either too large or too small; the decimal magnitude tells which.
        if (mantissa.firstSignificant < 0)
            return Converted<double>::success(0.0);
        const qsizetype first = mantissa.firstSignificant;
        const long magnitude =
            first < mantissa.pointAt ? mantissa.pointAt - first : -(first - mantissa.pointAt - 1);
        if (magnitude + exponent > 0)
            return Converted<double>::failure(RuntimeError::Overflow);
        return Converted<double>::success(text[0] == '-' ? -0.0 : 0.0);
    }
    if (result.ec != std::errc() || result.ptr != text.data() + text.size())
        return Converted<double>::failure(RuntimeError::TypeMismatch);
    return Converted<double>::success(value);
}

} // namespace automation
