// Numbers as text: the shortest exact form of a double, and the parser for numeric strings.
#pragma once

#include "platform/automation/converted.h"

#include <QByteArray>
#include <QByteArrayView>

namespace automation {

// The shortest text that reads back as the same double, always with "." as the decimal point:
// "1.5", "110", "-0.25", "1E+15", "1.5E-07". Plain notation for magnitudes from 1E-05 up to
// below 1E+15, scientific ("E+" or "E-" and at least two exponent digits) outside that range, as
// classic BASIC prints numbers. Negative zero prints as "0"; NaN and infinities as "NaN",
// "Infinity" and "-Infinity".
QByteArray doubleText(double value);

// Reads a number: surrounding white space is ignored, then an optional sign, digits with an
// optional decimal part ("5", "5.", ".5", "-1.25") and an optional exponent ("1e3", "2E-2").
// Errors: TypeMismatch for anything else (including the empty text, "inf", "nan", hex forms and
// digit grouping); Overflow when the magnitude exceeds the double range. A value too small for a
// double reads as zero.
Converted<double> parseNumber(QByteArrayView text);

} // namespace automation
