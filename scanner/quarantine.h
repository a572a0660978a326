// --quarantine DIR: the saved files of infected messages, kept where no later run writes over them.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

class Quarantine {
public:
    explicit Quarantine(QString folder);

    const QString& folder() const { return m_folder; }

    // Creates the folder, readable by its owner only, when it is missing. False, with the reason
    // in *error, when it cannot be created or is not a folder.
    bool prepare(QString* error) const;

    // Moves `savedFile` into the folder as "<UTC date and time>-<unique id>.txt", mode 0600. The
    // id is reduced to characters safe in a file name; when that name is taken, "-2", "-3", ...
    // is added: nothing already there is ever replaced. Returns the new path, or nothing with
    // the reason in *error (the saved file then stays where it was).
    std::optional<QString> take(const QString& savedFile, const QByteArray& uniqueId,
                                const QDateTime& when, QString* error) const;

private:
    QString m_folder;
};
