// The wake-up timer bounds how long WaitForMoreEvents may sleep: without it a wait with no
// socket traffic would never return to test its deadline.
#include "platform/pump.h"

#include "platform/clock.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <utility>
#include <vector>

namespace platform {
namespace {

constexpr int kWakeUpIntervalMs = 50;

// Runs only while some pump waits, so an idle host's event loop is not woken twenty times a
// second by a control that is doing nothing.
QTimer* wakeUpTimer()
{
    static QPointer<QTimer> timer;
    if (!timer) {
        // Parented to the application, so it dies with it and a later application gets a new one.
        timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(kWakeUpIntervalMs);
    }
    return timer;
}

struct PassEndWork {
    QPointer<QObject> context;
    std::function<void()> work;
};

// One per running pump, innermost last: pumps nest when a handler run by one pump waits in turn.
struct Pass {
    quint64 id;
    int loopLevel; // the thread's event-loop nesting when the pump began
    std::vector<PassEndWork> atEnd;
};

std::vector<Pass> passes;
quint64 lastPassId = 0;

void runAll(std::vector<PassEndWork> works)
{
    for (PassEndWork& w : works) {
        if (w.context) {
            w.work();
        }
    }
}

// Work left by an outer pass must not wait behind a nested one: whatever the nested wait waits
// for may be the very thing it delivers, as a posted event would be delivered inside it.
void runOuterWork()
{
    if (!passes.empty() && !passes.back().atEnd.empty()) {
        runAll(std::exchange(passes.back().atEnd, {}));
    }
}

} // namespace

void pumpEvents()
{
    if (!QCoreApplication::instance()) {
        return;
    }
    runOuterWork();
    QPointer<QTimer> timer = wakeUpTimer();
    if (passes.empty()) {
        timer->start();
    }
    passes.push_back(Pass{++lastPassId, QThread::currentThread()->loopLevel(), {}});
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // Taken before running: the work may pump, and its pass is then a new one.
    std::vector<PassEndWork> atEnd = std::move(passes.back().atEnd);
    passes.pop_back();
    runAll(std::move(atEnd));
    if (passes.empty() && timer) {
        timer->stop();
    }
}

bool pumpUntil(const std::function<bool()>& done, qint64 waitMs)
{
    const qint64 end = monotonicMilliseconds() + waitMs;
    while (!done()) {
        if (monotonicMilliseconds() >= end) {
            return false;
        }
        pumpEvents();
    }
    return true;
}

quint64 currentPass()
{
    if (passes.empty() || passes.back().loopLevel != QThread::currentThread()->loopLevel()) {
        return 0;
    }
    return passes.back().id;
}

bool runWhenPassEnds(QObject* context, std::function<void()> work)
{
    if (currentPass() == 0) {
        return false;
    }
    passes.back().atEnd.push_back(PassEndWork{context, std::move(work)});
    return true;
}

} // namespace platform
