// The JSON lines the shell writes: one result per script line, one line per event.
#pragma once

#include "platform/automation/variant.h"
#include "tools/vorlane-shell/shellfailure.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>
#include <span>

namespace vorlaneshell {

// {"ok":true}, with "type" and "value" when there is a value (a get, a method's result), and
// "args" when the call had arguments (their values after the call, by-reference ones written
// back).
QByteArray successLine(const std::optional<automation::Variant>& value,
                       std::span<const automation::Variant> args = {});

// {"ok":false,"number":13,"error":"Type mismatch"}
QByteArray failureLine(const ShellFailure& failure);

// {"event":"MsgReadStatus","args":[2,3,67]}
QByteArray eventLine(QByteArrayView name, std::span<const automation::Variant> args);

} // namespace vorlaneshell
