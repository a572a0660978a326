// Notifications behind a module boundary: Qt D-Bus brings the D-Bus library and systemd's, which
// a clean run never needs, so the program loads them from its module Orsel01notify.so only when a
// run has something to tell the desktop, or to be the helper that waits for a click.
#pragma once

#include "scanner/desktop/desktopnotification.h"

#include <QString>

class NotifyKit {
public:
    // Shows `notification` on the session bus, waiting at most `timeoutMs` for the server. One
    // with a default action goes to a helper started from `program`, which opens `folder` when
    // clicked. No bus or no server: nothing.
    virtual void notify(const DesktopNotification& notification, const QString& program,
                        const QString& folder, int timeoutMs) const = 0;
    // See runNotificationHelper().
    virtual int runHelper() const = 0;

protected:
    ~NotifyKit() = default;
};

inline constexpr char kNotifyKitModule[] = "Orsel01notify.so";
inline constexpr char kNotifyKitEntryPoint[] = "OrselNotifyKit";
