// An account of the scanner: the settings of one mailbox. Without --account it is the default
// account, whose keys, files and paths are those the scanner always had; a named account keeps its
// keys in a group of its own, its saved messages in a folder of its own and its password under a
// key of its own in the keyring.
#pragma once

#include <QString>
#include <optional>

class Account {
public:
    // The default account.
    Account() = default;

    // The account `name`; nothing, with the reason in *why, for a name that would not stay the
    // same as a settings group, a folder name and a unit's instance: an empty one, one longer than
    // kMaximumNameLength, one with "/", "\", "]" or a control character, blanks at either end,
    // and "." or "..".
    static std::optional<Account> named(const QString& name, QString* why);

    static constexpr qsizetype kMaximumNameLength = 64;

    bool isDefault() const { return m_name.isEmpty(); }
    // "" for the default account.
    const QString& name() const { return m_name; }

    // The group of its keys in the settings file: "Settings", or "Account NAME".
    QString settingsGroup() const;
    // Where its saved messages go, below the folder the scanner saves in: "" (that folder itself)
    // for the default account, "accounts/NAME" for a named one.
    QString savedFilesSubfolder() const;
    // How texts for people name it: NAME, or "default".
    QString displayName() const;
    // The key of its password in the keyring: its settings group, unique to each account.
    QString keyringKey() const { return settingsGroup(); }
    // The arguments that select it, as a user would type them before others: "" for the default
    // account, "--account NAME " (NAME quoted for a shell where needed) for a named one.
    QString commandLineArguments() const;

    bool operator==(const Account&) const = default;

private:
    explicit Account(QString name) : m_name(std::move(name)) {}

    QString m_name;
};
