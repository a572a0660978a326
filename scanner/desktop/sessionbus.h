// The user's session bus, where the desktop's notification server and keyring answer. Only a bus
// that is there is used: with none, the desktop features do nothing rather than start one.
#pragma once

#include <QDBusConnection>
#include <QDeadlineTimer>
#include <optional>

namespace sessionbus {

// The connected session bus; nothing when none is configured (DBUS_SESSION_BUS_ADDRESS unset
// and no socket $XDG_RUNTIME_DIR/bus) or it cannot be reached.
std::optional<QDBusConnection> connection();

// A call's timeout from what is left of `deadline`: at least 1 ms, since 0 or less would mean
// Qt D-Bus's default of 25 s.
int callTimeoutMs(const QDeadlineTimer& deadline);

} // namespace sessionbus
