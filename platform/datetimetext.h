// Local date and time as text, for the trace header.
#pragma once

#include <QByteArray>

namespace platform {

// The current local date and time, one-second resolution, unambiguous: "2026-12-07 04:38:32".
QByteArray localDateTimeText();

} // namespace platform
