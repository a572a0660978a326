// Clocks for timeouts and pauses.
#pragma once

#include <QtGlobal>

namespace platform {

// Whole seconds of a monotonic clock (arbitrary origin). Timeouts compare two readings, so a
// wall-clock jump, daylight saving or midnight can neither end nor stretch a wait.
qint64 monotonicSeconds();

// The same clock in milliseconds, for pauses that must last their nominal length.
qint64 monotonicMilliseconds();

} // namespace platform
