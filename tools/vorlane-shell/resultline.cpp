// Result and event lines. Keys are written in a fixed order so that lines compare as text.
#include "tools/vorlane-shell/resultline.h"

#include "tools/vorlane-shell/jsontext.h"

namespace vorlaneshell {

QByteArray successLine(const std::optional<automation::Variant>& value,
                       std::span<const automation::Variant> args)
{
    QByteArray line = R"({"ok":true)";
    if (value) {
        line += R"(,"type":)" + jsonString(value->typeName()) + R"(,"value":)" + jsonValue(*value);
    }
    if (!args.empty())
        line += R"(,"args":)" + jsonArray(args);
    return line + '}';
}

QByteArray failureLine(const ShellFailure& failure)
{
    return R"({"ok":false,"number":)" + QByteArray::number(failure.number) + R"(,"error":)" +
           jsonString(failure.text) + '}';
}

QByteArray eventLine(QByteArrayView name, std::span<const automation::Variant> args)
{
    return R"({"event":)" + jsonString(name) + R"(,"args":)" + jsonArray(args) + '}';
}

} // namespace vorlaneshell
