// Compiled matchers kept on disk between runs.
#include "scanner/definitioncheck/matchercache.h"

#include "platform/regularfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <hs/hs.h>

namespace scanner {
namespace {

// Bump when the pattern numbering or the database mode changes: old entries then no longer match.
constexpr char kLayout[] = "orsel-definitions-caseless-literal-block-3";
constexpr char kMagic[] = "OrselDB1";
constexpr qsizetype kMagicSize = sizeof(kMagic) - 1;
constexpr qsizetype kDigestSize = 32;
constexpr int kEntriesKept = 4;
const QString kSuffix = QStringLiteral(".hsdb");

// BLAKE2b is several times faster than SHA-256 in QCryptographicHash, and loading a large entry
// is on the path of the first message of a run.
constexpr auto kDigest = QCryptographicHash::Blake2b_256;

QByteArray digest(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, kDigest);
}

} // namespace

MatcherCache::MatcherCache(QString directory) : m_directory(std::move(directory)) {}

QString MatcherCache::defaultDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/Orsel");
}

QString MatcherCache::keyFor(QByteArrayView content, QByteArrayView variant)
{
    QCryptographicHash hash(kDigest);
    hash.addData(digest(content));
    hash.addData(QByteArrayView("\n"));
    hash.addData(variant);
    hash.addData(QByteArrayView("\n"));
    hash.addData(QByteArrayView(hs_version()));
    hash.addData(QByteArrayView("\n"));
    hash.addData(QByteArrayView(kLayout));
    return QString::fromLatin1(hash.result().toHex().left(40));
}

QString MatcherCache::pathFor(const QString& key) const
{
    return m_directory + QLatin1Char('/') + key + kSuffix;
}

QByteArray MatcherCache::load(const QString& key) const
{
    if (m_directory.isEmpty()) {
        return {};
    }
    QFile file;
    QString reason;
    if (!platform::openRegularFile(file, pathFor(key), &reason)) {
        return {};
    }
    const QByteArray bytes = file.readAll();
    // The library checks little of what it deserializes; a torn or damaged file must not reach it.
    if (bytes.size() < kMagicSize + kDigestSize || !bytes.startsWith(kMagic)) {
        return {};
    }
    const QByteArrayView payload = QByteArrayView(bytes).sliced(kMagicSize + kDigestSize);
    if (digest(payload) != QByteArrayView(bytes).sliced(kMagicSize, kDigestSize)) {
        return {};
    }
    return payload.toByteArray();
}

void MatcherCache::store(const QString& key, const QByteArray& payload) const
{
    if (m_directory.isEmpty() || !QDir().mkpath(m_directory)) {
        return;
    }
    QSaveFile file(pathFor(key));
    if (!file.open(QIODevice::WriteOnly)) {
        return;
    }
    file.write(kMagic, kMagicSize);
    file.write(digest(payload));
    file.write(payload);
    if (file.commit()) {
        prune();
    }
}

void MatcherCache::prune() const
{
    // A def.dat that changes now and then would otherwise leave a trail of large files behind.
    const QFileInfoList entries =
        QDir(m_directory).entryInfoList({QLatin1Char('*') + kSuffix}, QDir::Files, QDir::Time);
    for (qsizetype i = kEntriesKept; i < entries.size(); ++i) {
        QFile::remove(entries[i].absoluteFilePath());
    }
}

} // namespace scanner
