#include "settings/passwordplacement.h"

#include "scanner/desktop/keyringpassword.h"

namespace {

// Asking whether a keyring is there must not hold up a settings program on a machine without one.
constexpr int kProbeTimeoutMs = 2000;
// Storing may let the desktop ask to unlock: a person is there to answer.
constexpr int kKeyringTimeoutMs = 60000;

} // namespace

std::optional<PassStoreChoice> passStoreChoiceNamed(const QString& word)
{
    if (word == QLatin1String("keyring")) {
        return PassStoreChoice::Keyring;
    }
    if (word == QLatin1String("file")) {
        return PassStoreChoice::File;
    }
    return std::nullopt;
}

PasswordPlacement placePassword(modGeneral::StoredSettings& settings, const Account& account,
                                PassStoreChoice choice, const modGeneral::StoredSettings& before)
{
    const KeyringPassword keyring(account.keyringKey());
    PasswordPlacement placement;
    // A password the user put in the keyring stays there unless told otherwise, even when the
    // keyring is locked just now: it must not land in the file by default.
    const bool chosen = choice == PassStoreChoice::Keyring ||
                        (choice == PassStoreChoice::Default && !before.passInFile());
    if (chosen ||
        (choice == PassStoreChoice::Default && KeyringPassword::isReady(kProbeTimeoutMs))) {
        QString error;
        if (keyring.write(settings.pass, kKeyringTimeoutMs, &error)) {
            settings.passStore = modGeneral::kPassStoreKeyring;
            return placement;
        }
        if (chosen) {
            placement.ok = false;
            placement.error = error;
            return placement;
        }
        placement.note = QStringLiteral("the keyring did not take the password (%1)").arg(error);
    }
    settings.passStore.clear();
    if (!before.passInFile()) {
        keyring.remove(kProbeTimeoutMs); // no second copy left behind
    }
    return placement;
}

std::optional<QString> storedPassword(const modGeneral::StoredSettings& stored,
                                      const Account& account, QString* error)
{
    if (stored.passInFile()) {
        return stored.pass;
    }
    return KeyringPassword(account.keyringKey())
        .read(KeyringPassword::Prompt::Allowed, kKeyringTimeoutMs, error);
}
