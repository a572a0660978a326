// Typed values in QSettings.
#include "platform/automation/settingspropertybag.h"

#include "platform/automation/numbertext.h"

#include <optional>

namespace automation {

namespace {

using Type = Variant::Type;

QByteArray encode(const Variant& value)
{
    const QByteArray prefix = QByteArray(value.typeName()) + ':';
    switch (value.type()) {
    case Type::Empty:
    case Type::Null:
        return value.typeName();
    case Type::Integer:
        return prefix + QByteArray::number(value.int16Value());
    case Type::Long:
        return prefix + QByteArray::number(value.int32Value());
    case Type::Double:
        return prefix + doubleText(value.doubleValue());
    case Type::Boolean:
        return prefix + (value.boolValue() ? "True" : "False");
    case Type::String:
        return prefix + value.stringValue();
    case Type::Date:
        // The day count, not a date text: the round trip must be exact.
        return prefix + doubleText(value.dateValue());
    }
    return {};
}

std::optional<Variant> decodeNumber(Type type, const QByteArray& text)
{
    bool ok = false;
    if (type == Type::Integer) {
        const qint16 number = text.toShort(&ok);
        return ok ? std::optional(Variant::fromInt16(number)) : std::nullopt;
    }
    if (type == Type::Long) {
        const qint32 number = text.toInt(&ok);
        return ok ? std::optional(Variant::fromInt32(number)) : std::nullopt;
    }
    const Converted<double> number = parseNumber(text);
    if (!number.ok())
        return std::nullopt;
    return type == Type::Date ? Variant::fromDate(number.value) : Variant::fromDouble(number.value);
}

std::optional<Variant> decodeTyped(Type type, const QByteArray& text)
{
    switch (type) {
    case Type::Empty:
    case Type::Null:
        return std::nullopt; // these carry no ":" part
    case Type::Boolean:
        if (text == "True" || text == "False")
            return Variant::fromBool(text == "True");
        return std::nullopt;
    case Type::String:
        return Variant::fromString(text);
    case Type::Integer:
    case Type::Long:
    case Type::Double:
    case Type::Date:
        return decodeNumber(type, text);
    }
    return std::nullopt;
}

Variant decode(const QByteArray& stored)
{
    if (stored == "Empty")
        return Variant();
    if (stored == "Null")
        return Variant::null();
    const qsizetype colon = stored.indexOf(':');
    for (int t = int(Type::Integer); colon > 0 && t <= int(Type::Date); ++t) {
        if (stored.left(colon) == variantTypeName(Type(t))) {
            if (std::optional<Variant> value = decodeTyped(Type(t), stored.mid(colon + 1)))
                return *value;
            break;
        }
    }
    return Variant::fromString(stored);
}

} // namespace

SettingsPropertyBag::SettingsPropertyBag(QSettings& settings, QString group)
    : m_settings(settings), m_group(std::move(group))
{
}

Variant SettingsPropertyBag::read(QByteArrayView key) const
{
    const QVariant stored = m_settings.value(settingsKey(key));
    if (!stored.isValid())
        return Variant();
    return decode(stored.toString().toLatin1());
}

void SettingsPropertyBag::write(QByteArrayView key, const Variant& value)
{
    m_settings.setValue(settingsKey(key), QString::fromLatin1(encode(value)));
}

QString SettingsPropertyBag::settingsKey(QByteArrayView key) const
{
    const QString name = QString::fromLatin1(key);
    return m_group.isEmpty() ? name : m_group + QLatin1Char('/') + name;
}

} // namespace automation
