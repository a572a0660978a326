// Variant storage and its accessors.
#include "platform/automation/variant.h"

namespace automation {

Variant::Variant(Type type, qint32 integer, double number, QByteArray text)
    : m_type(type), m_integer(integer), m_number(number), m_text(std::move(text))
{
}

Variant Variant::null()
{
    return Variant(Type::Null, 0, 0, {});
}

Variant Variant::fromInt16(qint16 value)
{
    return Variant(Type::Integer, value, 0, {});
}

Variant Variant::fromInt32(qint32 value)
{
    return Variant(Type::Long, value, 0, {});
}

Variant Variant::fromDouble(double value)
{
    return Variant(Type::Double, 0, value, {});
}

Variant Variant::fromBool(bool value)
{
    return Variant(Type::Boolean, value ? 1 : 0, 0, {});
}

Variant Variant::fromString(QByteArray value)
{
    return Variant(Type::String, 0, 0, std::move(value));
}

Variant Variant::fromDate(double days)
{
    return Variant(Type::Date, 0, days, {});
}

Variant::Type Variant::type() const
{
    return m_type;
}

qint16 Variant::int16Value() const
{
    return m_type == Type::Integer ? qint16(m_integer) : qint16(0);
}

qint32 Variant::int32Value() const
{
    return m_type == Type::Long ? m_integer : 0;
}

double Variant::doubleValue() const
{
    return m_type == Type::Double ? m_number : 0.0;
}

bool Variant::boolValue() const
{
    return m_type == Type::Boolean && m_integer != 0;
}

QByteArray Variant::stringValue() const
{
    return m_type == Type::String ? m_text : QByteArray();
}

double Variant::dateValue() const
{
    return m_type == Type::Date ? m_number : 0.0;
}

const char* Variant::typeName() const
{
    return variantTypeName(type());
}

QByteArray Variant::debugText() const
{
    QByteArray value;
    switch (type()) {
    case Type::Empty:
    case Type::Null:
        return typeName();
    case Type::Integer:
        value = QByteArray::number(int16Value());
        break;
    case Type::Long:
        value = QByteArray::number(int32Value());
        break;
    case Type::Double:
        value = QByteArray::number(doubleValue(), 'g', 17);
        break;
    case Type::Boolean:
        value = boolValue() ? "True" : "False";
        break;
    case Type::String:
        value = '"' + stringValue() + '"';
        break;
    case Type::Date:
        value = QByteArray::number(dateValue(), 'g', 17);
        break;
    }
    return typeName() + ('(' + value + ')');
}

const char* variantTypeName(Variant::Type type)
{
    static constexpr const char* names[] = {"Empty",  "Null",    "Integer", "Long",
                                            "Double", "Boolean", "String",  "Date"};
    return names[static_cast<int>(type)];
}

} // namespace automation
