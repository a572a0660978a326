// Where the settings program keeps an account's password: in the desktop's keyring when one
// answers, else in the settings file (readable by its owner only), or where --pass-store says.
#pragma once

#include "scanner/account.h"
#include "scanner/modgeneral.h"

#include <QString>
#include <optional>

enum class PassStoreChoice {
    // Where it was if that was the keyring; else the keyring when one answers unlocked now (no
    // prompt), else the file.
    Default,
    Keyring,
    File,
};

// "keyring" or "file", as --pass-store takes them.
std::optional<PassStoreChoice> passStoreChoiceNamed(const QString& word);

struct PasswordPlacement {
    bool ok = true;
    QString error; // when not ok: why the keyring did not take it
    QString note;  // a default choice that fell back to the file, and why
};

// Puts `settings.pass` where `choice` says, before `settings` are written: into the keyring
// (then "PassStore" says so and the password is not written to the file), or into the file (and
// a copy that `before` kept in the keyring is removed). Not ok when the keyring was asked for and
// did not take it; nothing should be written then.
PasswordPlacement placePassword(modGeneral::StoredSettings& settings, const Account& account,
                                PassStoreChoice choice, const modGeneral::StoredSettings& before);

// The password `stored` names: the file's, or the one in the keyring (which may ask the user to
// unlock it). Nothing, with the reason in *error, when the keyring cannot give it.
std::optional<QString> storedPassword(const modGeneral::StoredSettings& stored,
                                      const Account& account, QString* error);
