#include "scanner/runlock.h"

#include "scanner/rememberedmessages.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

RunLock::~RunLock()
{
    release();
}

QString RunLock::defaultFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QDir(runtime).exists()) {
        return runtime + QStringLiteral("/Orsel");
    }
    return RememberedMessages::defaultFolder() + QStringLiteral("/locks");
}

QString RunLock::pathFor(const QString& folder, const QString& kind, const QString& key)
{
    const QByteArray hash =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return folder + QLatin1Char('/') + kind + QLatin1Char('-') + QString::fromLatin1(hash) +
           QStringLiteral(".lock");
}

bool RunLock::tryTake(const QString& path, qint64* holder, QString* error)
{
    release();
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("Cannot create %1").arg(folder);
        return false;
    }
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error =
            QStringLiteral("Cannot open %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        char text[32] = {};
        const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
        *holder = got > 0 ? QByteArray(text, got).trimmed().toLongLong() : 0;
        ::close(fd);
        return false;
    }
    // Who holds it, for the run that waits; a lock file is never read otherwise.
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid.constData(), size_t(pid.size()), 0) < 0) {
        // The lock holds all the same; only the waiting run's message lacks the pid.
    }
    m_fd = fd;
    return true;
}

void RunLock::release()
{
    if (m_fd >= 0) {
        ::close(m_fd); // the lock goes with the descriptor; the file stays for the next run
        m_fd = -1;
    }
}

QString currentAccountName(const modGeneral::StoredSettings& settings, const Account& account)
{
    if (!account.isDefault()) {
        return account.name();
    }
    return settings.user + QLatin1Char('@') + settings.address;
}
