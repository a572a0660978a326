#include "tests/dovecot/systemstore.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

bool openssl(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("openssl"), arguments);
    return process.waitForFinished(30000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

} // namespace

QString systemstore::makeUnrelatedCa(const QString& folder)
{
    const QDir dir(folder);
    const QString ca = dir.filePath(QStringLiteral("unrelated.pem"));
    const bool made =
        openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                 "-keyout", dir.filePath(QStringLiteral("unrelated.key")), "-out", ca, "-subj",
                 "/CN=Unrelated CA", "-days", "2"});
    return made ? ca : QString();
}

bool systemstore::makeStore(const QString& store, const QStringList& pemFiles)
{
    if (!QDir().mkpath(store)) {
        return false;
    }
    for (const QString& pem : pemFiles) {
        if (!QFile::copy(pem, QDir(store).filePath(QFileInfo(pem).fileName()))) {
            return false;
        }
    }
    return openssl({"rehash", store});
}
