#include "scanner/mailboxsettings.h"

#include "scanner/connectionsecurity.h"
#include "scanner/signinmethod.h"
#include "scanner/vorlanemembers.h"

using automation::Variant;
namespace member = vorlanemembers;

namespace {

Variant text(const QString& value)
{
    return Variant::fromString(value.toUtf8());
}

std::optional<QString> putSecurity(ControlHost& control, const modGeneral::StoredSettings& settings)
{
    // A key with no value may be a typo for "tls": logging in without TLS then would send the
    // password in the clear.
    if (settings.securityEmpty) {
        return QStringLiteral("The connection security \"Security=\" in the settings is empty; "
                              "it must be %1, or the key left out for a plain connection.")
            .arg(securityWordList());
    }
    // Without the key the control keeps its stored design-time settings: plain POP3 on 110.
    if (settings.security.isEmpty()) {
        return std::nullopt;
    }
    const std::optional<ConnectionSecurity> security = securityNamed(settings.security.toLower());
    if (!security) {
        return QStringLiteral("Unknown connection security \"%1\" in the settings; it must be %2.")
            .arg(settings.security, securityWordList());
    }
    control.put(member::POPSecurity, Variant::fromInt16(qint16(*security)));
    control.put(member::POPCAFile, text(settings.caFile));
    control.put(member::POPPort, Variant::fromInt32(securityPort(*security)));
    return std::nullopt;
}

// The password, or for a method that takes a token and a stored command, what it prints.
std::optional<QString> putSecret(ControlHost& control, const modGeneral::StoredSettings& settings,
                                 std::chrono::milliseconds tokenLimit)
{
    if (!settings.getsToken()) {
        control.put(member::POPPassword, text(settings.pass));
        return std::nullopt;
    }
    const TokenCommandResult result = runTokenCommand(settings.tokenCommand, tokenLimit);
    if (!result.ok()) {
        return result.error;
    }
    control.put(member::POPPassword, Variant::fromString(result.token));
    return std::nullopt;
}

} // namespace

std::optional<QString> putMailboxSettings(ControlHost& control,
                                          const modGeneral::StoredSettings& settings,
                                          std::chrono::milliseconds tokenLimit)
{
    const std::optional<SignInMethod> method = signInMethodNamed(settings.auth);
    if (!method) {
        return QStringLiteral("Unknown sign-in method \"%1\" in the settings (Auth); it must be "
                              "%2.")
            .arg(settings.auth, signInMethodWordList());
    }
    control.put(member::POPHostname, text(settings.address));
    control.put(member::POPUsername, text(settings.user));
    if (const std::optional<QString> reason = putSecurity(control, settings)) {
        return reason;
    }
    // Without the key (or with "password") the control keeps USER and PASS, and the wire stays
    // as it always was.
    if (*method != SignInMethod::Password) {
        control.put(member::POPAuthentication, Variant::fromInt16(qint16(*method)));
    }
    return putSecret(control, settings, tokenLimit);
}
