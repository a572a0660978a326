// The ClamAV engine in-process: a signature database loaded and compiled once per run, then every
// saved message scanned with ClamAV's own mail and archive unpacking.
#pragma once

#include "scanner/clamav/clamavverdict.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

struct cl_engine;

namespace scanner {

class ClamAvEngine {
public:
    // Raised limits; ClamAV's own default where absent. A message beyond a limit is not fully
    // checked (see ClamAvVerdict), so raising one lets the engine look further, at the price of
    // time and memory.
    struct Limits {
        std::optional<quint64> maxFileSizeMb; // also raises the scan total to twice as much
        std::optional<quint32> maxRecursion;  // archives and attachments inside each other
        std::optional<quint32> maxFiles;      // members of one message, all levels together
    };

    ClamAvEngine();
    ~ClamAvEngine();
    ClamAvEngine(const ClamAvEngine&) = delete;
    ClamAvEngine& operator=(const ClamAvEngine&) = delete;

    // The folder the setting "ClamAV" names: "default" is the system's database folder.
    static QString databaseFolder(const QString& setting)
    {
        return setting == QLatin1String("default") ? systemDatabaseFolder() : setting;
    }
    static QString systemDatabaseFolder() { return QStringLiteral("/var/lib/clamav"); }
    // True when the folder holds at least one signature ClamAV can read (cheap: counts them
    // without loading).
    static bool hasDatabase(const QString& folder);

    // Loads every database in the folder and compiles the engine; blocks for up to tens of seconds
    // with the full official database, calling keepAlive now and then (which may pump events).
    // False when that fails or the folder has no signature at all; error then reads
    // "Cannot load the ClamAV database in FOLDER: REASON" with ClamAV's own reason.
    bool load(const QString& folder, const std::function<void()>& keepAlive, QString* error);
    // Takes effect with the next load().
    void setLimits(const Limits& limits) { m_limits = limits; }

    // Scans one file (mail is unpacked into its parts, archives into their members) and gives
    // every detection in the order ClamAV reports them, and whether a limit stopped it. False
    // with error when the scan fails.
    bool scanFile(const QString& path, ClamAvVerdict* verdict, QString* error) const;

    // What the loaded engine knows, for telling runs with different databases apart:
    // "folder=...;version=...;time=...;signatures=...;files=...;limits=reported", where files is
    // a digest of the database files' names, sizes and modification times. The last part marks
    // engines that report their limits: a message remembered clean by one that did not may
    // have gone unseen beyond them.
    QByteArray fingerprint() const;
    unsigned signatureCount() const { return m_signatures; }

private:
    cl_engine* m_engine = nullptr;
    QString m_folder;
    unsigned m_signatures = 0;
    Limits m_limits;
};

} // namespace scanner
