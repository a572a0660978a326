#include "control/fileappender.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace fileappender {
namespace {

bool isUsablePath(const QByteArray& path)
{
    // An embedded NUL would silently name another file.
    return !path.isEmpty() && !path.contains('\0');
}

// Gathered write of all pieces, resumed after partial writes and interruptions.
bool writeAll(int fd, std::span<const QByteArrayView> pieces)
{
    std::vector<iovec> vectors;
    vectors.reserve(pieces.size());
    for (QByteArrayView piece : pieces) {
        if (!piece.isEmpty()) {
            vectors.push_back({const_cast<char*>(piece.data()), size_t(piece.size())});
        }
    }
    std::size_t next = 0;
    while (next < vectors.size()) {
        const int count = int(std::min<std::size_t>(vectors.size() - next, IOV_MAX));
        const ssize_t written = ::writev(fd, vectors.data() + next, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        auto left = size_t(written);
        while (next < vectors.size() && left >= vectors[next].iov_len) {
            left -= vectors[next].iov_len;
            ++next;
        }
        if (left > 0) {
            vectors[next].iov_base = static_cast<char*>(vectors[next].iov_base) + left;
            vectors[next].iov_len -= left;
        }
    }
    return true;
}

} // namespace

QByteArray appendToFile(const QByteArray& path, QByteArrayView bytes)
{
    return appendToFile(path, std::span<const QByteArrayView>(&bytes, 1));
}

QByteArray appendToFile(const QByteArray& path, std::span<const QByteArrayView> pieces)
{
    if (!isUsablePath(path)) {
        return kOpenError;
    }
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) {
        return kOpenError;
    }
    bool ok = writeAll(fd, pieces);
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
