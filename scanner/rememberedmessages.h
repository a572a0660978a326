// The unique ids of messages found clean before, per account, for --remember.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QSet>
#include <QString>
#include <functional>

// One file per account under $XDG_STATE_HOME/Orsel/ (default ~/.local/state/Orsel/), readable by
// its owner only. It holds the fingerprint of the engines that found the messages clean and
// their ids. A memory made with other engines (a changed def.dat) is no memory at all: load()
// then gives nothing.
class RememberedMessages {
public:
    // `account`: what tells two mailboxes apart (server address and user name).
    RememberedMessages(QString stateFolder, const QString& account, QByteArray engines);

    // $XDG_STATE_HOME/Orsel, or ~/.local/state/Orsel when it is not set.
    static QString defaultFolder();

    QString filePath() const { return m_path; }

    // Reads the memory; a missing, unreadable, foreign or stale file gives an empty one.
    void load();
    bool isRemembered(const QByteArray& uniqueId) const { return m_clean.contains(uniqueId); }

    // Replaces the memory with `clean`, the ids the server still has that are clean: ids of
    // messages gone from the server are so dropped. The old file stays whole until the new one
    // has reached the disk (write to a side file, fsync, rename), so a crash at any moment
    // leaves one or the other. A memory that already holds exactly these ids is not written
    // again: a timer's rescan of an unchanged mailbox waits for no disk. `afterChunk` runs after
    // each block written (for tests). Returns false, with the reason in *error, when the memory
    // could not be written.
    bool save(const QSet<QByteArray>& clean, QString* error,
              const std::function<void()>& afterChunk = {});

private:
    bool write(const QSet<QByteArray>& clean, QString* error,
               const std::function<void()>& afterChunk) const;

    QString m_folder;
    QString m_path;
    QByteArray m_engines;
    QSet<QByteArray> m_clean;
    bool m_inFile = false; // the file holds m_clean for these engines
};
