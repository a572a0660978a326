// Waiting on a condition with a deadline while the event loop runs: tests never sleep.
#pragma once

#include "platform/pump.h"

#include <QElapsedTimer>

template <class Condition> bool waitFor(Condition condition, int timeoutMs = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        platform::pumpEvents();
    }
    return true;
}
