// modGeneral: the scanner's three stored settings, and the two optional ones of a secure
// connection, read once at start-up and kept for the run.
#pragma once

#include "scanner/account.h"
#include "scanner/connectionsecurity.h"

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
    // "PassStore": "" (absent) keeps the password in "Pass"; kPassStoreKeyring in the keyring,
    // under the account's key, and "Pass" is not written.
    QString passStore{};

    bool passInFile() const { return passStore.isEmpty(); }
    // A missing key reads as empty; values are taken as stored (no trimming). A password kept
    // elsewhere counts as there: whether it can be read is the run's to find out.
    bool complete() const
    {
        return !address.isEmpty() && !user.isEmpty() && (!pass.isEmpty() || !passInFile());
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

// Stores the three settings; the file is made readable by its owner only, since it holds a
// password. With the password in the keyring, "PassStore" takes the place of "Pass" (which goes).
// Returns false when the file could not be written.
bool writeSettings(const StoredSettings& settings, const Account& account = Account());

// The settings file's path, for messages and tests.
QString settingsFilePath();

} // namespace modGeneral
