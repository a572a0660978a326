// Reading the VALUE tokens of a script line as variants.
#pragma once

#include "platform/automation/variant.h"
#include "tools/vorlane-shell/shellfailure.h"

#include <QByteArrayView>
#include <optional>

namespace vorlaneshell {

// One value:
//   "text"          a JSON string; each code point 0 to 255 is one byte of the String
//   true, false     Boolean
//   null, empty     Null, Empty
//   123, -7         Long; an integer beyond 32 bits is a Double, as a classic literal would be
//   1.5, 2e3        Double
//   i16:12          Integer
// Keywords match in any letter case. Errors: a syntax failure (5) naming the problem, including
// a code point above 255; Overflow (6) for an i16 value outside -32768..32767.
std::optional<automation::Variant> parseScriptValue(QByteArrayView token, ShellFailure* failure);

} // namespace vorlaneshell
