// Conversions between variant types with the rules of classic late-bound BASIC: what a property
// put, a parameter or a property bag read does to the value it is given.
#pragma once

#include "platform/automation/converted.h"
#include "platform/automation/valuetype.h"
#include "platform/automation/variant.h"

#include <QByteArray>

namespace automation {

// Common rules: Null fails every conversion with InvalidUseOfNull; Empty reads as "", 0 or False;
// a Boolean reads as -1 (True) or 0 (False). A failed conversion gives the error and no value.

// Integers as plain decimal with "-" when negative; doubles in their shortest exact form
// (doubleText: "1.5", "110"); booleans as "True" or "False"; dates as "yyyy-MM-dd HH:mm:ss".
// Errors: InvalidUseOfNull; Overflow for a date outside the years 100 to 9999.
Converted<QByteArray> toString(const Variant& value);

// Doubles and dates are rounded half to even (2.5 gives 2, 3.5 gives 4); strings are read as
// numbers (parseNumber) and then rounded. Errors: InvalidUseOfNull; TypeMismatch for a string
// that is not a number; Overflow for a value outside -32768..32767.
Converted<qint16> toInt16(const Variant& value);

// As toInt16 with the range -2147483648..2147483647.
Converted<qint32> toInt32(const Variant& value);

// Errors: InvalidUseOfNull; TypeMismatch for a string that is not a number; Overflow for a
// string beyond the double range.
Converted<double> toDouble(const Variant& value);

// Numbers and dates: non-zero is True. Strings: "True" or "False" in any letter case, surrounding
// white space ignored, or a number (non-zero is True). Errors: InvalidUseOfNull; TypeMismatch for
// any other string, the empty one included.
Converted<bool> toBool(const Variant& value);

// The value converted to a variant of the declared type, as a property put or a typed parameter
// needs it. ValueType::Variant returns the value unchanged (Null included); Void gives Empty.
// Errors: those of the conversion to that type.
Converted<Variant> coerce(const Variant& value, ValueType type);

} // namespace automation
