// The keyring behind a module boundary: QtKeychain brings libsecret and GLib, so the program
// loads it from its module Orsel01keyring.so only for an account whose password is kept there.
#pragma once

#include <QString>
#include <optional>

class KeyringKit {
public:
    // See KeyringPassword::read(); `promptAllowed` false is Prompt::Never.
    virtual std::optional<QString> readPassword(const QString& key, bool promptAllowed,
                                                int timeoutMs, QString* error) const = 0;

protected:
    ~KeyringKit() = default;
};

inline constexpr char kKeyringKitModule[] = "Orsel01keyring.so";
inline constexpr char kKeyringKitEntryPoint[] = "OrselKeyringKit";
