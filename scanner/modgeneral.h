// modGeneral: the scanner's three stored settings, read once at start-up and kept for the run.
#pragma once

#include <QString>

namespace modGeneral {

// Where the settings live: organisation "Orsel", application "Orsel", group "Settings", keys
// "Address", "User", "Pass" (on Linux $XDG_CONFIG_HOME/Orsel/Orsel.conf).
struct StoredSettings {
    QString address;
    QString user;
    QString pass;

    // A missing key reads as empty; values are taken as stored (no trimming).
    bool complete() const { return !address.isEmpty() && !user.isEmpty() && !pass.isEmpty(); }
};

StoredSettings readSettings();

// Extensions, in the same group; empty when absent, which leaves them off. "Decode" = "1" checks
// the MIME-decoded parts too; "ClamAV" names a signature database folder, or "default" for the
// system's.
struct EngineSettings {
    QString decode;
    QString clamAV;
};

EngineSettings readEngineSettings();

// Stores them; an empty value removes its key. Returns false when the file could not be written.
bool writeEngineSettings(const EngineSettings& settings);

// Stores the three settings; the file is made readable by its owner only, since it holds a
// password. Returns false when the file could not be written.
bool writeSettings(const StoredSettings& settings);

// The settings file's path, for messages and tests.
QString settingsFilePath();

} // namespace modGeneral
