#include "control/fileappender.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace fileappender {
namespace {

bool isUsablePath(const QByteArray& path)
{
    // An embedded NUL would silently name another file.
    return !path.isEmpty() && !path.contains('\0');
}

bool writeAll(int fd, QByteArrayView bytes)
{
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

QByteArray appendToFile(const QByteArray& path, QByteArrayView bytes)
{
    if (!isUsablePath(path)) {
        return kOpenError;
    }
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        return kOpenError;
    }
    bool ok = writeAll(fd, bytes);
    // close() can report a deferred write failure (quota, network file systems).
    ok = (::close(fd) == 0) && ok;
    return ok ? QByteArray() : QByteArray(kWriteError);
}

int deleteFile(const QByteArray& path)
{
    if (!isUsablePath(path)) {
        return ENOENT;
    }
    if (::unlink(path.constData()) == 0 || errno == ENOENT) {
        return 0;
    }
    return errno;
}

} // namespace fileappender
