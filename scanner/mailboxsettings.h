// Putting the stored mailbox settings into the control: server, user, the password or the token
// its command prints, how the connection is secured and how the scanner signs in. The scan run
// and the settings program's sign-in check configure the control this one way.
#pragma once

#include "scanner/controlhost.h"
#include "scanner/modgeneral.h"
#include "scanner/tokencommand.h"

#include <optional>

// The reason when a stored value is unknown or the token command failed; the control is then
// left unconnected and nothing has gone to the server.
std::optional<QString>
putMailboxSettings(ControlHost& control, const modGeneral::StoredSettings& settings,
                   std::chrono::milliseconds tokenLimit = kTokenCommandLimit);
