#include "scanner/desktop/sessionbus.h"

#include <QFileInfo>
#include <algorithm>

namespace sessionbus {

std::optional<QDBusConnection> connection()
{
    // Without an address libdbus would "autolaunch" a bus of its own for an X display, which
    // outlives us and holds nobody's notifications. systemd's user manager puts the bus at
    // $XDG_RUNTIME_DIR/bus; naming it in the environment lets the keyring library find it too.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const QString socket = runtime + QStringLiteral("/bus");
        if (runtime.isEmpty() || !QFileInfo(socket).exists()) {
            return std::nullopt;
        }
        qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + QFile::encodeName(socket));
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return std::nullopt;
    }
    return bus;
}

int callTimeoutMs(const QDeadlineTimer& deadline)
{
    return int(std::max<qint64>(1, deadline.remainingTime()));
}

} // namespace sessionbus
