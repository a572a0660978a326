// Dates as day counts: the representation of a Date variant and its text form.
#pragma once

#include "platform/automation/converted.h"

#include <QByteArray>
#include <QDateTime>

namespace automation {

// A date is the number of days since 1899-12-30 00:00, the time of day being the fraction. Before
// that day the whole part counts backwards while the fraction still counts forwards: -1.25 is
// 1899-12-29 06:00. No time zone: the fields are wall-clock fields.

// The wall-clock date and time of a day count, rounded to the second. The result carries UTC only
// so that no zone rule shifts its fields. Errors: Overflow outside the years 100 to 9999 or for
// NaN.
Converted<QDateTime> dateTimeFromDays(double days);

// "yyyy-MM-dd HH:mm:ss", unambiguous in every locale. Errors as dateTimeFromDays.
Converted<QByteArray> dateText(double days);

} // namespace automation
