// Variants as JSON text, for the shell's output lines.
#pragma once

#include "platform/automation/variant.h"

#include <QByteArray>
#include <QByteArrayView>
#include <span>

namespace vorlaneshell {

// A JSON string in which each byte stands for the code point of its value. The output is plain
// ASCII: '"' and '\' are escaped with a backslash, control characters and bytes from 0x7F up as
// \u00XX, so nothing depends on the reader's character set.
QByteArray jsonString(QByteArrayView bytes);

// The value alone: Empty and Null as null, Boolean as true/false, numbers as JSON numbers (a
// Double that is not finite as a string), String as jsonString, Date as its text
// "yyyy-MM-dd HH:mm:ss".
QByteArray jsonValue(const automation::Variant& value);

// "[v1,v2,...]" of jsonValue.
QByteArray jsonArray(std::span<const automation::Variant> values);

} // namespace vorlaneshell
