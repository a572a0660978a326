// The ClamAV engine: a signature database loaded and compiled once per run, then every saved
// message scanned with ClamAV's own mail and archive unpacking.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <vector>

struct cl_engine;

namespace scanner {

class ClamAvEngine {
public:
    // One detection: the signature's name, and the name of the inner file (an attachment, a
    // member of an archive) that held it when ClamAV gives one, else empty.
    struct Detection {
        QByteArray signature;
        QByteArray innerFile;
    };

    ClamAvEngine();
    ~ClamAvEngine();
    ClamAvEngine(const ClamAvEngine&) = delete;
    ClamAvEngine& operator=(const ClamAvEngine&) = delete;

    // The folder the setting "ClamAV" names: "default" is the system's database folder.
    static QString databaseFolder(const QString& setting);
    static QString systemDatabaseFolder() { return QStringLiteral("/var/lib/clamav"); }
    // True when the folder holds at least one signature ClamAV can read (cheap: counts them
    // without loading).
    static bool hasDatabase(const QString& folder);

    // Loads every database in the folder and compiles the engine; blocks for up to tens of seconds
    // with the full official database, calling keepAlive now and then (which may pump events).
    // False when that fails or the folder has no signature at all; error then reads
    // "Cannot load the ClamAV database in FOLDER: REASON" with ClamAV's own reason.
    bool load(const QString& folder, const std::function<void()>& keepAlive, QString* error);

    // Scans one file (mail is unpacked into its parts, archives into their members) and gives
    // every detection in the order ClamAV reports them. False with error when the scan fails.
    bool scanFile(const QString& path, std::vector<Detection>* found, QString* error) const;

    // What the loaded engine knows, for telling runs with different databases apart:
    // "folder=...;version=...;time=...;signatures=...".
    QByteArray fingerprint() const;
    unsigned signatureCount() const { return m_signatures; }

private:
    cl_engine* m_engine = nullptr;
    QString m_folder;
    unsigned m_signatures = 0;
};

} // namespace scanner
