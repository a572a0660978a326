#include "control/messagefile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

namespace messagefile {
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

constexpr int kOpenFlags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
constexpr mode_t kOwnerOnly = 0600;
// How much a held file takes between two looks at whether it still has a name.
constexpr qint64 kLinkCheckInterval = 4 * 1024 * 1024;

// What lies at `path` now, without following a link: -1 for nothing, 0 for a regular file,
// 1 for anything else.
int kindAt(const QByteArray& path)
{
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) {
        return -1;
    }
    return S_ISREG(info.st_mode) ? 0 : 1;
}

// Opens a regular file for writing; anything else is refused with the matching result.
int openRegular(const QByteArray& path, int extraFlags, Result& failure)
{
    if (!isUsablePath(path)) {
        failure = Result::OpenFailed;
        return -1;
    }
    const int fd = ::open(path.constData(), kOpenFlags | extraFlags, kOwnerOnly);
    if (fd < 0) {
        // ELOOP: a symbolic link; ENXIO: a FIFO without a reader.
        failure = (errno == ELOOP || errno == ENXIO) ? Result::NotARegularFile : Result::OpenFailed;
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        failure = Result::NotARegularFile;
        return -1;
    }
    return fd;
}

// Whether a new file could be created at `path`, which names nothing now: the folder exists and
// this process may write and search it.
bool canCreateIn(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0    ? QByteArray(".")
                              : slash == 0 ? QByteArray("/")
                                           : path.first(slash);
    return ::faccessat(AT_FDCWD, folder.constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

// Emptying such a file in place changes nothing that another name or user could see.
bool isOwnSoleLink(int fd)
{
    struct stat info {};
    return ::fstat(fd, &info) == 0 && info.st_nlink == 1 && info.st_uid == ::geteuid();
}

// Empty and owner-only, as a new file would be.
bool emptyAsNew(int fd)
{
    return ::ftruncate(fd, 0) == 0 && ::fchmod(fd, kOwnerOnly) == 0;
}

} // namespace

QByteArray failureText(Result result)
{
    switch (result) {
    case Result::Done:
        break;
    case Result::OpenFailed:
        return "Error attempting to open file";
    case Result::WriteFailed:
        return "Error writing to file";
    case Result::NotARegularFile:
        return "Not a regular file";
    case Result::EmptyingFailed:
        return "Error attempting to empty the old file";
    }
    return {};
}

Result appendToFile(const QByteArray& path, QByteArrayView bytes)
{
    Result failure = Result::Done;
    const int fd = openRegular(path, O_APPEND, failure);
    if (fd < 0) {
        return Result::OpenFailed;
    }
    bool ok = writeAll(fd, std::span<const QByteArrayView>(&bytes, 1));
    // close() can report a deferred write failure (quota, network file systems).
    ok = (::close(fd) == 0) && ok;
    return ok ? Result::Done : Result::WriteFailed;
}

Result clearForReplacement(const QByteArray& path)
{
    if (!isUsablePath(path)) {
        return Result::OpenFailed;
    }
    const int kind = kindAt(path);
    if (kind > 0) {
        return Result::NotARegularFile;
    }
    if (kind < 0) {
        // Nothing to clear: asking the folder costs nothing, where creating a file to find out
        // and removing it again cost two of the file system's dearest operations per message.
        return canCreateIn(path) ? Result::Done : Result::OpenFailed;
    }
    Result failure = Result::Done;
    const int fd = openRegular(path, O_APPEND, failure);
    if (fd < 0) {
        return failure;
    }
    // The old file cannot mix with the new one: it is emptied where it is when it is ours alone
    // (no other name links to it), removed otherwise, and emptied after all where it cannot be
    // removed (a folder the user may not write). An append-only file can be neither, and the
    // caller must not report success.
    if (!(isOwnSoleLink(fd) && emptyAsNew(fd)) && !deleteFile(path) && ::ftruncate(fd, 0) != 0) {
        failure = Result::EmptyingFailed;
    }
    ::close(fd);
    return failure;
}

AppendStream::~AppendStream()
{
    close();
}

Result AppendStream::create(const QByteArray& path)
{
    close();
    m_lost = false;
    Result failure = Result::Done;
    m_fd = openRegular(path, O_APPEND | O_TRUNC, failure);
    m_path = path;
    return failure;
}

Result AppendStream::append(const QByteArray& path, std::span<const QByteArrayView> pieces)
{
    // A stat per arrival was a tenth of a TLS transfer's system calls; looking every few
    // megabytes, and at the close, still stops a long transfer into a removed file early.
    if (m_fd >= 0 && m_path == path && m_bytesSinceLinkCheck >= kLinkCheckInterval) {
        m_bytesSinceLinkCheck = 0;
        if (lostItsName()) {
            // Removed under us, with its folder or alone: what came before is gone with it, so
            // no new file at the path may pass the rest off as the message.
            close();
            m_lost = true;
        }
    }
    if (m_lost && m_path == path) {
        return Result::OpenFailed;
    }
    if (m_fd >= 0 && m_path != path) {
        close();
    }
    if (m_fd < 0) {
        Result failure = Result::Done;
        m_fd = openRegular(path, O_APPEND, failure);
        m_path = path;
        if (m_fd < 0) {
            return Result::OpenFailed;
        }
    }
    for (const QByteArrayView piece : pieces) {
        m_bytesSinceLinkCheck += piece.size();
    }
    return writeAll(m_fd, pieces) ? Result::Done : Result::WriteFailed;
}

Result AppendStream::close()
{
    m_lost = false;
    m_bytesSinceLinkCheck = 0;
    if (m_fd < 0) {
        return Result::Done;
    }
    const bool lost = lostItsName();
    const int fd = m_fd;
    m_fd = -1;
    const bool closed = ::close(fd) == 0;
    if (lost) {
        return Result::OpenFailed;
    }
    return closed ? Result::Done : Result::WriteFailed;
}

bool AppendStream::lostItsName() const
{
    struct stat info {};
    return ::fstat(m_fd, &info) != 0 || info.st_nlink == 0;
}

bool deleteFile(const QByteArray& path)
{
    if (!isUsablePath(path)) {
        return false;
    }
    const int kind = kindAt(path);
    if (kind != 0) {
        return kind < 0;
    }
    return ::unlink(path.constData()) == 0 || errno == ENOENT;
}

} // namespace messagefile
