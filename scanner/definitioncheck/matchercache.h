// Compiled matchers kept on disk between runs, because compiling a large def.dat takes seconds.
#pragma once

#include <QByteArray>
#include <QString>

namespace scanner {

// One file per definition content in a folder of its own. Entries are named by a key that covers
// the definitions' content, the matching library's version and our own pattern numbering, so a
// stale entry is simply never asked for. Every failure is silent: the cache only saves time.
class MatcherCache {
public:
    // An empty directory disables the cache.
    explicit MatcherCache(QString directory);

    // $XDG_CACHE_HOME/Orsel, or ~/.cache/Orsel when XDG_CACHE_HOME is not set.
    static QString defaultDirectory();

    // The key for definitions with the given content, compiled in the given variant.
    static QString keyFor(QByteArrayView content, QByteArrayView variant);
    QString pathFor(const QString& key) const;

    // The stored bytes, or empty when there is no entry or it does not pass its checksum.
    QByteArray load(const QString& key) const;
    // Replaces the entry atomically, so a reader never sees half a file, and keeps only the few
    // most recent entries.
    void store(const QString& key, const QByteArray& payload) const;

private:
    void prune() const;

    QString m_directory;
};

} // namespace scanner
