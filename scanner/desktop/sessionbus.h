// The user's session bus, where the desktop's notification server and keyring answer. Only a bus
// that is there is used: with none, the desktop features do nothing rather than start one.
#pragma once

#include <QDBusConnection>
#include <optional>

namespace sessionbus {

// The connected session bus; nothing when none is configured (DBUS_SESSION_BUS_ADDRESS unset
// and no socket $XDG_RUNTIME_DIR/bus) or it cannot be reached.
std::optional<QDBusConnection> connection();

} // namespace sessionbus
