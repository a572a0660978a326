// The wake-up timer bounds how long WaitForMoreEvents may sleep: without it a wait with no
// socket traffic would never return to test its deadline.
#include "platform/pump.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

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

int pumpDepth = 0; // pumps nest when a handler run by one pump waits in turn

} // namespace

void pumpEvents()
{
    if (!QCoreApplication::instance()) {
        return;
    }
    QPointer<QTimer> timer = wakeUpTimer();
    if (pumpDepth++ == 0) {
        timer->start();
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (--pumpDepth == 0 && timer) {
        timer->stop();
    }
}

} // namespace platform
