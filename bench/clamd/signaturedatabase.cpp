#include "bench/clamd/signaturedatabase.h"

#include <QDir>
#include <QFile>
#include <functional>
#include <random>

namespace {

constexpr qint64 kFileHashes = 6000000;
constexpr qint64 kSectionHashes = 1500000;
constexpr qint64 kBodySignatures = 120000;
constexpr qint64 kTotal = kFileHashes + kSectionHashes + kBodySignatures;

QByteArray hex(std::mt19937_64& random, int bytes)
{
    QByteArray out;
    while (out.size() < bytes * 2) {
        out += QByteArray::number(qulonglong(random()), 16).rightJustified(16, '0');
    }
    return out.left(bytes * 2);
}

// Lines written in pieces of about a megabyte.
bool writeLines(const QString& path, qint64 count,
                const std::function<QByteArray(qint64 index)>& line)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray piece;
    for (qint64 i = 0; i < count; ++i) {
        piece += line(i);
        if (piece.size() >= (1 << 20) || i + 1 == count) {
            if (file.write(piece) != piece.size()) {
                return false;
            }
            piece.clear();
        }
    }
    return true;
}

} // namespace

qint64 ensureSignatureDatabase(const QString& folder)
{
    const QString complete = folder + QStringLiteral("/complete");
    if (QFile::exists(complete)) {
        return kTotal;
    }
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    std::mt19937_64 random(7620000);
    const auto size = [&] { return QByteArray::number(qulonglong(512 + random() % 500000)); };
    const bool written =
        writeLines(folder + QStringLiteral("/bench.hdb"), kFileHashes,
                   [&](qint64 i) {
                       return hex(random, 16) + ':' + size() + ":Bench.File." +
                              QByteArray::number(i) + '\n';
                   }) &&
        writeLines(folder + QStringLiteral("/bench.mdb"), kSectionHashes,
                   [&](qint64 i) {
                       return size() + ':' + hex(random, 16) + ":Bench.Section." +
                              QByteArray::number(i) + '\n';
                   }) &&
        writeLines(folder + QStringLiteral("/bench.ndb"), kBodySignatures, [&](qint64 i) {
            return "Bench.Body." + QByteArray::number(i) + ":0:*:" + hex(random, 16) + '\n';
        });
    QFile stamp(complete);
    return written && stamp.open(QIODevice::WriteOnly) ? kTotal : 0;
}
