// The one entry point of the module Orsel01notify.so.
#include "scanner/desktop/notificationhandoff.h"
#include "scanner/desktop/notifykit.h"
#include "scanner/desktop/sessionbus.h"

namespace {

class DBusNotifyKit final : public NotifyKit {
public:
    void notify(const DesktopNotification& notification, const QString& program,
                const QString& folder, int timeoutMs) const override
    {
        std::optional<QDBusConnection> bus = sessionbus::connection();
        if (!bus) {
            return;
        }
        // The click comes long after the run has ended: a helper waits for it.
        if (!notification.defaultAction.isEmpty() &&
            handOffNotification(program, notification, folder)) {
            return;
        }
        DesktopNotification withoutAction = notification;
        withoutAction.defaultAction.clear();
        sendNotification(*bus, withoutAction, timeoutMs);
    }

    int runHelper() const override { return runNotificationHelper(); }
};

} // namespace

extern "C" __attribute__((visibility("default"))) const NotifyKit* OrselNotifyKit()
{
    static const DBusNotifyKit kit;
    return &kit;
}
