// The unique ids of messages found clean before, per account, for --remember.
#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QString>
#include <functional>

// One file per account under $XDG_STATE_HOME/Orsel/ (default ~/.local/state/Orsel/), readable by
// its owner only. It holds the fingerprint of the engines that found the messages clean and
// their ids, each with the message's size in K: a server that hands an id out again for other
// content, or numbers its messages, would otherwise get new mail skipped. A memory made with
// other engines (a changed def.dat) is no memory at all: load() then gives nothing.
class RememberedMessages {
public:
    // Unique id -> size in K (the control's MsgSizeInK) of the message found clean.
    using Sizes = QHash<QByteArray, qint32>;

    // A memory file larger than this is no memory of ours: it is ignored, and the next save
    // replaces it.
    static constexpr qint64 kMaximumFileBytes = 16 * 1024 * 1024;

    // `account`: what tells two mailboxes apart (server address and user name).
    RememberedMessages(QString stateFolder, const QString& account, QByteArray engines);

    // $XDG_STATE_HOME/Orsel, or ~/.local/state/Orsel when it is not set.
    static QString defaultFolder();

    QString filePath() const { return m_path; }

    // Reads the memory; a missing, unreadable, foreign or stale file gives an empty one, and so
    // does one too large, for which the returned text says so (it is "" otherwise). A last line
    // without its line end was cut off by a failed write and is not believed; nor is an id
    // without a size, as memories of older runs hold (the message is checked once more).
    QString load();
    bool isRemembered(const QByteArray& uniqueId, qint32 sizeInK) const
    {
        const auto found = m_clean.constFind(uniqueId);
        return found != m_clean.cend() && *found == sizeInK;
    }

    // Replaces the memory with `clean`, the ids the server still has that are clean: ids of
    // messages gone from the server are so dropped. The old file stays whole until the new one
    // has reached the disk (write to a side file of this run's own, fsync, rename: two runs
    // never write into one side file), so a crash at any moment
    // leaves one or the other. A memory that already holds exactly these ids is not written
    // again: a timer's rescan of an unchanged mailbox waits for no disk. `afterChunk` runs after
    // each block written (for tests). Returns false, with the reason in *error, when the memory
    // could not be written.
    bool save(const Sizes& clean, QString* error, const std::function<void()>& afterChunk = {});

private:
    bool write(const Sizes& clean, QString* error, const std::function<void()>& afterChunk) const;
    bool writeIn(int folder, const Sizes& clean, QString* error,
                 const std::function<void()>& afterChunk) const;

    QString m_folder;
    QString m_path;
    QByteArray m_engines;
    Sizes m_clean;
    bool m_inFile = false; // the file holds m_clean for these engines
};
