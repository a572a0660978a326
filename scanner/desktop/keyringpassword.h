// A password in the desktop's keyring (the Secret Service, through QtKeychain), under the service
// "Orsel" and a key of its own (an account's keyringKey()). It never lands in a file: QtKeychain's
// plain-text fallback stays off. Each call waits, pumping the event loop, for at most its
// time-out.
#pragma once

#include <QString>
#include <optional>

class KeyringPassword {
public:
    // Whether reading may let the desktop ask the user to unlock the keyring. A run without a
    // window must not: nobody would answer, and the timer's next run would wait behind it.
    enum class Prompt { Never, Allowed };

    explicit KeyringPassword(QString key) : m_key(std::move(key)) {}

    static const QString kService; // "Orsel"

    // The password; nothing, with the reason in *error (a clause: "the keyring is locked"), when
    // there is no session bus or keyring, no such password, a locked keyring with Prompt::Never,
    // or no answer within `timeoutMs`.
    std::optional<QString> read(Prompt prompt, int timeoutMs, QString* error) const;
    // Stores it (the keyring may ask to unlock). False, with the reason in *error, when it could
    // not within `timeoutMs`.
    bool write(const QString& password, int timeoutMs, QString* error) const;
    // Removes it, if it is there; what the keyring answers changes nothing for the caller.
    void remove(int timeoutMs) const;

    // Whether a keyring answers on the session bus now (started already, so asking starts none),
    // with its default collection unlocked: then a password can be stored without a prompt.
    static bool isReady(int timeoutMs);
    // Whether a keyring answers on the session bus now at all, locked or not.
    static bool isRunning(int timeoutMs);

    const QString& key() const { return m_key; }

private:
    QString m_key;
};
