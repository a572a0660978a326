#include "scanner/enginefingerprints.h"

#include "platform/regularfile.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

QByteArray fileDigest(const QString& path)
{
    QFile file;
    QString reason;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!platform::openRegularFile(file, path, &reason) || !hash.addData(&file)) {
        return "unreadable";
    }
    return hash.result().toHex();
}

} // namespace

QByteArrayList engineFingerprints(const QString& definitionFile)
{
    return {
        // The line rules of the definition check belong to its fingerprint, as does the file.
        "definitions rules-2 " + fileDigest(definitionFile),
    };
}

QByteArray combinedFingerprint(const QByteArrayList& fingerprints)
{
    return QCryptographicHash::hash(fingerprints.join('\n'), QCryptographicHash::Sha256).toHex();
}
