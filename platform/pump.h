// Pumping the event loop once, the primitive every blocking wait of the control and the
// scanner is built on.
#pragma once

#include <QtGlobal>
#include <functional>

class QObject;

namespace platform {

// Processes every pending event of the calling thread and returns. When nothing is pending it
// blocks until an event arrives, but never longer than about 50 ms, so a waiting loop costs no
// CPU and still re-checks its deadline often. Needs a QCoreApplication.
void pumpEvents();

// Pumps events until `done` says so (true) or `waitMs` have passed on the monotonic clock first
// (false). `done` is asked before every wait, so a condition already met costs no pass.
bool pumpUntil(const std::function<bool()>& done, qint64 waitMs);

// The pass of pumpEvents() whose events are being handled now, 0 when none is (or when another
// event loop, a modal dialog's, runs inside it). Ids are never reused.
quint64 currentPass();

// Runs `work` once, when the current pass has handled all its events (or when a nested pump
// starts, if sooner), unless `context` is gone by then: a way to gather the many notices of one
// pass into one piece of work without posting an event, whose wake-up costs two system calls.
// Returns false, and does nothing, when currentPass() is 0.
bool runWhenPassEnds(QObject* context, std::function<void()> work);

} // namespace platform
