#include "settings/signincheck.h"

#include "scanner/controlhost.h"
#include "scanner/mailboxsettings.h"
#include "scanner/vorlanemembers.h"

namespace member = vorlanemembers;

namespace {

SignInCheck signInWith(ControlHost& control, const modGeneral::StoredSettings& settings)
{
    if (const std::optional<QString> reason = putMailboxSettings(control, settings)) {
        return {false, *reason};
    }
    control.call(member::Connect);
    if (control.error() != 0) {
        return {false, control.errorText()};
    }
    const qint32 count = control.getLong(member::MsgCount);
    // QUIT after no DELE: the mailbox is left as it was.
    control.call(member::Disconnect);
    return {
        true,
        QStringLiteral("Signed in to %1: %2 messages waiting").arg(settings.address).arg(count)};
}

} // namespace

SignInCheck checkSignIn(const modGeneral::StoredSettings& settings)
{
    if (!settings.complete()) {
        return {false, QStringLiteral("The server address, user name and password (or, for an "
                                      "OAuth method, a token command) are needed.")};
    }
    try {
        ControlHost control;
        return signInWith(control, settings);
    } catch (const RuntimeFault& fault) {
        return {false,
                QStringLiteral("Run-time error '%1': %2").arg(fault.number).arg(fault.description)};
    }
}
