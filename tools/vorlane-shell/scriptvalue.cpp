// Script values: JSON strings as byte strings, keywords, numbers.
#include "tools/vorlane-shell/scriptvalue.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <algorithm>
#include <cmath>
#include <limits>

using automation::Variant;

namespace vorlaneshell {

namespace {

bool isDigits(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

bool isInteger(QByteArrayView text)
{
    return isDigits(text.startsWith('-') ? text.sliced(1) : text);
}

// An optional "-", digits with an optional fraction ("5." and ".5" too), an optional exponent.
bool isDecimal(QByteArrayView text)
{
    QByteArrayView rest = text.startsWith('-') ? text.sliced(1) : text;
    const qsizetype exponent = std::max(rest.indexOf('e'), rest.indexOf('E'));
    if (exponent >= 0) {
        QByteArrayView power = rest.sliced(exponent + 1);
        if (power.startsWith('+') || power.startsWith('-'))
            power = power.sliced(1);
        if (!isDigits(power))
            return false;
        rest = rest.first(exponent);
    }
    const qsizetype point = rest.indexOf('.');
    if (point < 0)
        return isDigits(rest);
    const QByteArrayView whole = rest.first(point);
    const QByteArrayView fraction = rest.sliced(point + 1);
    return (whole.isEmpty() || isDigits(whole)) && (fraction.isEmpty() || isDigits(fraction)) &&
           !(whole.isEmpty() && fraction.isEmpty());
}

// Qt's reader takes any character after a backslash; JSON allows only these.
bool hasOnlyJsonEscapes(QByteArrayView token)
{
    for (qsizetype i = 0; i < token.size(); ++i) {
        if (token[i] == '\\') {
            ++i;
            if (i == token.size() || !QByteArrayView("\"\\/bfnrtu").contains(token[i]))
                return false;
        }
    }
    return true;
}

std::optional<Variant> parseString(QByteArrayView token, ShellFailure* failure)
{
    if (!hasOnlyJsonEscapes(token)) {
        *failure = syntaxFailure("bad escape in string " + token.toByteArray());
        return std::nullopt;
    }
    // Qt reads only arrays and objects as documents: wrap the string in an array.
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson("[" + token.toByteArray() + "]", &error);
    if (error.error != QJsonParseError::NoError || document.array().size() != 1 ||
        !document.array().at(0).isString()) {
        *failure = syntaxFailure("bad string " + token.toByteArray() + ": " +
                                 error.errorString().toUtf8());
        return std::nullopt;
    }
    const QString text = document.array().at(0).toString();
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() > 255) {
            *failure =
                syntaxFailure("character U+" + QByteArray::number(c.unicode(), 16).toUpper() +
                              " is not a byte: strings take code points 0 to 255");
            return std::nullopt;
        }
        bytes += char(c.unicode());
    }
    return Variant::fromString(bytes);
}

std::optional<Variant> parseInt16(QByteArrayView digits, ShellFailure* failure)
{
    if (!isInteger(digits)) {
        *failure = syntaxFailure("bad Integer value \"" + digits.toByteArray() + '"');
        return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = digits.toByteArray().toLongLong(&ok);
    if (!ok || value < std::numeric_limits<qint16>::min() ||
        value > std::numeric_limits<qint16>::max()) {
        *failure = ShellFailure::of(automation::RuntimeError::Overflow);
        return std::nullopt;
    }
    return Variant::fromInt16(qint16(value));
}

std::optional<Variant> parseNumber(QByteArrayView token, ShellFailure* failure)
{
    bool ok = false;
    if (isInteger(token)) {
        const qlonglong value = token.toByteArray().toLongLong(&ok);
        if (ok && value >= std::numeric_limits<qint32>::min() &&
            value <= std::numeric_limits<qint32>::max())
            return Variant::fromInt32(qint32(value));
    }
    const double value = token.toByteArray().toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        *failure = ShellFailure::of(automation::RuntimeError::Overflow);
        return std::nullopt;
    }
    return Variant::fromDouble(value);
}

} // namespace

std::optional<Variant> parseScriptValue(QByteArrayView token, ShellFailure* failure)
{
    if (token.startsWith('"'))
        return parseString(token, failure);
    const QByteArray word = token.toByteArray().toLower();
    if (word == "true" || word == "false")
        return Variant::fromBool(word == "true");
    if (word == "null")
        return Variant::null();
    if (word == "empty")
        return Variant();
    if (word.startsWith("i16:"))
        return parseInt16(token.sliced(4), failure);
    if (isInteger(token) || isDecimal(token))
        return parseNumber(token, failure);
    *failure = syntaxFailure("bad value " + token.toByteArray() +
                             ": expected a JSON string, true, false, null, empty, a number or "
                             "i16:N");
    return std::nullopt;
}

} // namespace vorlaneshell
