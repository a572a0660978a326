// One scan at a time per account and per saved-files folder. Two runs on one account would both
// write msgN.txt (the second emptying the first's file under it) and both rewrite the memory of
// clean messages; a run waits for the other instead, and gives up after a while.
#pragma once

#include "scanner/modgeneral.h"

#include <QString>

class RunLock {
public:
    RunLock() = default;
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // $XDG_RUNTIME_DIR/Orsel, which goes with the session, or the memory's state folder's
    // "locks" folder when there is no runtime folder.
    static QString defaultFolder();
    // The lock file for `key` (an account, a folder) of the given kind, named by a hash.
    static QString pathFor(const QString& folder, const QString& kind, const QString& key);

    // One try at taking the lock (flock on the file, made owner-only when new). True when held
    // from now on, until this object goes; the file then names this process. False when another
    // process holds it (*holder its pid, 0 when not known yet) or with *error when the file
    // cannot be made.
    bool tryTake(const QString& path, qint64* holder, QString* error);
    void release();

private:
    int m_fd = -1;
};

// The name an account goes by in messages: a named account's name, else "user@address".
QString currentAccountName(const modGeneral::StoredSettings& settings, const Account& account);
