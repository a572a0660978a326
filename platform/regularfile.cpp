#include "platform/regularfile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

int openRegularFile(const QByteArray& path, QString* reason)
{
    if (path.isEmpty() || path.contains('\0')) {
        *reason = QStringLiteral("no such file");
        return -1;
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, for ever.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *reason = QString::fromLocal8Bit(std::strerror(errno));
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *reason = QStringLiteral("not a regular file");
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool openRegularFile(QFile& file, const QString& path, QString* reason, bool unbuffered)
{
    const int fd = openRegularFile(QFile::encodeName(path), reason);
    if (fd < 0) {
        return false;
    }
    const QIODevice::OpenMode mode =
        unbuffered ? QIODevice::ReadOnly | QIODevice::Unbuffered : QIODevice::ReadOnly;
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *reason = file.errorString();
        return false;
    }
    return true;
}

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes, QString* reason)
{
    QFile file;
    if (!openRegularFile(file, path, reason)) {
        return std::nullopt;
    }
    // One byte more than allowed tells a file at the limit from a larger one, even one that grows
    // while it is read.
    if (file.size() > maxBytes) {
        *reason = QStringLiteral("larger than %1 bytes").arg(maxBytes);
        return std::nullopt;
    }
    QByteArray content = file.read(maxBytes + 1);
    if (content.size() > maxBytes) {
        *reason = QStringLiteral("larger than %1 bytes").arg(maxBytes);
        return std::nullopt;
    }
    if (file.error() != QFileDevice::NoError) {
        *reason = file.errorString();
        return std::nullopt;
    }
    return content;
}

QString cannotRead(const QString& what, const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot read %1 %2: %3").arg(what, path, reason);
}

} // namespace platform
