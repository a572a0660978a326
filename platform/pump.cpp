// The wake-up timer bounds how long WaitForMoreEvents may sleep: without it a wait with no
// socket traffic would never return to test its deadline.
#include "platform/pump.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

namespace platform {
namespace {

constexpr int kWakeUpIntervalMs = 50;

void ensureWakeUpTimer()
{
    static QPointer<QTimer> timer;
    if (timer) {
        return;
    }
    // Parented to the application, so it dies with it and a later application gets a new one.
    timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(kWakeUpIntervalMs);
    timer->start();
}

} // namespace

void pumpEvents()
{
    if (!QCoreApplication::instance()) {
        return;
    }
    ensureWakeUpTimer();
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

} // namespace platform
