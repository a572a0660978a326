// modGeneral: the scanner's three stored settings, and the two optional ones of a secure
// connection, read once at start-up and kept for the run.
#pragma once

#include "scanner/account.h"
#include "scanner/connectionsecurity.h"
#include "scanner/signinmethod.h"

#include <QString>

namespace modGeneral {

// The value of "PassStore" that keeps the password in the desktop's keyring instead of "Pass".
inline const QString kPassStoreKeyring = QStringLiteral("keyring");

// Where the settings live: organisation "Orsel", application "Orsel", group "Settings" (a named
// account's Account::settingsGroup()), keys "Address", "User", "Pass" (on Linux
// $XDG_CONFIG_HOME/Orsel/Orsel.conf).
struct StoredSettings {
    QString address;
    QString user;
    QString pass;
    // Optional: a securityWord() ("" for a plain connection, as "none"), and a PEM file of extra
    // CA certificates. Absent keys read as "". (The braces let older code list only the
    // first three.)
    QString security{};
    QString caFile{};
    // Optional: "1" has the control save round trips (for a distant server); "" or "0" is the
    // classic session.
    QString fewerRoundTrips{};
    // Optional: a signInMethodWord() ("" signs in with USER and PASS, as "password"), and for
    // the OAuth methods a command that prints a fresh access token, used instead of "Pass".
    QString auth{};
    QString tokenCommand{};
    // The file has "Security=" with nothing after it: not the same as no key at all.
    bool securityEmpty{};
    // "PassStore": "" (absent) keeps the password in "Pass"; kPassStoreKeyring in the keyring,
    // under the account's key, and "Pass" is not written.
    QString passStore{};

    bool passInFile() const { return passStore.isEmpty(); }
    // A missing key reads as empty; values are taken as stored (no trimming). A token command
    // stands in for the password where the method takes a token; a password kept elsewhere
    // counts as there: whether it can be read is the run's to find out.
    bool complete() const
    {
        return !address.isEmpty() && !user.isEmpty() &&
               (!pass.isEmpty() || getsToken() || !passInFile());
    }
    bool getsToken() const
    {
        const std::optional<SignInMethod> method = signInMethodNamed(auth);
        return !tokenCommand.isEmpty() && method && takesToken(*method);
    }
};

StoredSettings readSettings(const Account& account = Account());

// The connection security that fresh settings start with: a password should not travel in clear.
// Settings stored before (an address but no "Security") keep their plain connection.
inline QString defaultSecurity(const StoredSettings& stored)
{
    if (!stored.security.isEmpty()) {
        return stored.security;
    }
    return securityWord(stored.address.isEmpty() ? ConnectionSecurity::Tls
                                                 : ConnectionSecurity::None);
}

// Fresh settings save round trips, which costs a near server nothing; settings stored before keep
// the classic session.
inline QString defaultFewerRoundTrips(const StoredSettings& stored)
{
    if (!stored.fewerRoundTrips.isEmpty()) {
        return stored.fewerRoundTrips;
    }
    return stored.address.isEmpty() ? QStringLiteral("1") : QString();
}

inline bool isKnownFewerRoundTrips(const QString& value)
{
    return value.isEmpty() || value == QLatin1String("0") || value == QLatin1String("1");
}

inline bool isKnownSecurity(const QString& value)
{
    return securityNamed(value).has_value();
}

// Extensions, in the same group; empty when absent, which leaves them off. "Decode" = "1" checks
// the MIME-decoded parts too; "ClamAV" names a signature database folder, "default" for the
// system's, "clamd" for the system's ClamAV daemon or "clamd:PATH" for the one on that socket.
// "ClamAVMaxFileSize" (MB), "ClamAVMaxRecursion" and "ClamAVMaxFiles" raise the limits of the
// in-process engine (the daemon keeps those of its own configuration).
struct EngineSettings {
    QString decode;
    QString clamAV;
    QString clamAVMaxFileSize{};
    QString clamAVMaxRecursion{};
    QString clamAVMaxFiles{};
};

EngineSettings readEngineSettings(const Account& account = Account());

// Stores them; an empty value removes its key. Returns false when the file could not be written.
bool writeEngineSettings(const EngineSettings& settings, const Account& account = Account());

// Stores "FewerRoundTrips" alone; an empty value removes the key.
bool writeFewerRoundTrips(const QString& value, const Account& account = Account());

// Stores the three settings; the file is made readable by its owner only, since it holds a
// password. With the password in the keyring, "PassStore" takes the place of "Pass" (which goes).
// Returns false when the file could not be written.
bool writeSettings(const StoredSettings& settings, const Account& account = Account());

// The settings file's path, for messages and tests.
QString settingsFilePath();

// Why the settings file cannot be read ("Cannot read settings file PATH: not a regular file"), or
// "" when it is a regular file or missing. A FIFO there would hang the reader, a device feed it
// without end; check before reading.
QString settingsFileProblem();

// "" or, when others than its owner may read the settings file (it holds the password), a
// warning that names it and the chmod that fixes it.
QString settingsFileWarning();

} // namespace modGeneral
