// Variant conversions.
#include "platform/automation/conversions.h"

#include "platform/automation/automationdate.h"
#include "platform/automation/numbertext.h"

#include <cmath>
#include <limits>

namespace automation {

namespace {

using Type = Variant::Type;

// Banker's rounding, as classic hosts round on every conversion to an integer.
double roundHalfEven(double value)
{
    if (std::fabs(value - std::trunc(value)) == 0.5)
        return 2.0 * std::round(value / 2.0);
    return std::round(value);
}

// Every variant that has a numeric reading, as a double; strings are parsed.
Converted<double> numericValue(const Variant& value)
{
    switch (value.type()) {
    case Type::Empty:
        return Converted<double>::success(0.0);
    case Type::Null:
        return Converted<double>::failure(RuntimeError::InvalidUseOfNull);
    case Type::Integer:
        return Converted<double>::success(value.int16Value());
    case Type::Long:
        return Converted<double>::success(value.int32Value());
    case Type::Double:
        return Converted<double>::success(value.doubleValue());
    case Type::Boolean:
        return Converted<double>::success(value.boolValue() ? -1.0 : 0.0);
    case Type::String:
        return parseNumber(value.stringValue());
    case Type::Date:
        return Converted<double>::success(value.dateValue());
    }
    return Converted<double>::failure(RuntimeError::TypeMismatch);
}

template <class Int> Converted<Int> toInteger(const Variant& value)
{
    // Integers need no rounding and cannot lose precision through the double.
    const Converted<double> number = numericValue(value);
    if (!number.ok())
        return Converted<Int>::failure(number.error);
    const double rounded = roundHalfEven(number.value);
    // Written so that NaN fails as well.
    if (!(rounded >= std::numeric_limits<Int>::min() && rounded <= std::numeric_limits<Int>::max()))
        return Converted<Int>::failure(RuntimeError::Overflow);
    return Converted<Int>::success(static_cast<Int>(rounded));
}

} // namespace

Converted<QByteArray> toString(const Variant& value)
{
    switch (value.type()) {
    case Type::Empty:
        return Converted<QByteArray>::success({});
    case Type::Null:
        return Converted<QByteArray>::failure(RuntimeError::InvalidUseOfNull);
    case Type::Integer:
        return Converted<QByteArray>::success(QByteArray::number(value.int16Value()));
    case Type::Long:
        return Converted<QByteArray>::success(QByteArray::number(value.int32Value()));
    case Type::Double:
        return Converted<QByteArray>::success(doubleText(value.doubleValue()));
    case Type::Boolean:
        return Converted<QByteArray>::success(value.boolValue() ? "True" : "False");
    case Type::String:
        return Converted<QByteArray>::success(value.stringValue());
    case Type::Date:
        return dateText(value.dateValue());
    }
    return Converted<QByteArray>::failure(RuntimeError::TypeMismatch);
}

Converted<qint16> toInt16(const Variant& value)
{
    return toInteger<qint16>(value);
}

Converted<qint32> toInt32(const Variant& value)
{
    return toInteger<qint32>(value);
}

Converted<double> toDouble(const Variant& value)
{
    return numericValue(value);
}

Converted<bool> toBool(const Variant& value)
{
    if (value.type() == Type::Boolean)
        return Converted<bool>::success(value.boolValue());
    if (value.type() == Type::String) {
        const QByteArray word = value.stringValue().trimmed().toLower();
        if (word == "true" || word == "false")
            return Converted<bool>::success(word == "true");
    }
    const Converted<double> number = numericValue(value);
    if (!number.ok())
        return Converted<bool>::failure(number.error);
    return Converted<bool>::success(number.value != 0.0);
}

Converted<Variant> coerce(const Variant& value, ValueType type)
{
    const auto wrap = [](const auto& converted, auto make) {
        if (!converted.ok())
            return Converted<Variant>::failure(converted.error);
        return Converted<Variant>::success(make(converted.value));
    };
    switch (type) {
    case ValueType::Void:
        return Converted<Variant>::success(Variant());
    case ValueType::Integer:
        return wrap(toInt16(value), Variant::fromInt16);
    case ValueType::Long:
        return wrap(toInt32(value), Variant::fromInt32);
    case ValueType::Boolean:
        return wrap(toBool(value), Variant::fromBool);
    case ValueType::String:
        return wrap(toString(value), Variant::fromString);
    case ValueType::Variant:
        return Converted<Variant>::success(value);
    }
    return Converted<Variant>::failure(RuntimeError::TypeMismatch);
}

} // namespace automation
