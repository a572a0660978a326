// JSON text of variants.
#include "tools/vorlane-shell/jsontext.h"

#include "platform/automation/conversions.h"
#include "platform/automation/numbertext.h"

#include <cmath>

using automation::Variant;

namespace vorlaneshell {

namespace {

QByteArray doubleJson(double value)
{
    const QByteArray text = automation::doubleText(value);
    return std::isfinite(value) ? text : jsonString(text);
}

QByteArray dateJson(const Variant& value)
{
    const automation::Converted<QByteArray> text = automation::toString(value);
    // A day count outside the years 100 to 9999 has no text: show the count itself.
    return text.ok() ? jsonString(text.value) : doubleJson(value.dateValue());
}

} // namespace

QByteArray jsonString(QByteArrayView bytes)
{
    QByteArray json;
    json.reserve(bytes.size() + 2);
    json += '"';
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            json += "\\u00" + QByteArray::number(byte, 16).rightJustified(2, '0');
        } else {
            json += c;
        }
    }
    json += '"';
    return json;
}

QByteArray jsonValue(const Variant& value)
{
    switch (value.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
        return "null";
    case Variant::Type::Integer:
        return QByteArray::number(value.int16Value());
    case Variant::Type::Long:
        return QByteArray::number(value.int32Value());
    case Variant::Type::Double:
        return doubleJson(value.doubleValue());
    case Variant::Type::Boolean:
        return value.boolValue() ? "true" : "false";
    case Variant::Type::String:
        return jsonString(value.stringValue());
    case Variant::Type::Date:
        return dateJson(value);
    }
    return "null";
}

QByteArray jsonArray(std::span<const Variant> values)
{
    QByteArray json = "[";
    for (const Variant& value : values) {
        if (json.size() > 1)
            json += ',';
        json += jsonValue(value);
    }
    return json + ']';
}

} // namespace vorlaneshell
