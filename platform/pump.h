// Pumping the event loop once, the primitive every blocking wait of the control and the
// scanner is built on.
#pragma once

namespace platform {

// Processes every pending event of the calling thread and returns. When nothing is pending it
// blocks until an event arrives, but never longer than about 50 ms, so a waiting loop costs no
// CPU and still re-checks its deadline often. Needs a QCoreApplication.
void pumpEvents();

} // namespace platform
