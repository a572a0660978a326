#include "scanner/quarantine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Unique ids may hold '/' and other characters a file name cannot carry as they are.
QString safeName(const QByteArray& uniqueId)
{
    QString name;
    for (char c : uniqueId.left(70)) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
        name += safe ? QLatin1Char(c) : QLatin1Char('_');
    }
    return name.isEmpty() ? QStringLiteral("no-id") : name;
}

// Copies across file systems into a file that must not exist yet.
bool copyExclusive(const QByteArray& from, const QByteArray& to)
{
    const int in = ::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(in); // a FIFO would hang the copy, a device never end it
        errno = EINVAL;
        return false;
    }
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        ::close(in);
        return false;
    }
    char buffer[64 * 1024];
    bool ok = true;
    for (ssize_t got; ok && (got = ::read(in, buffer, sizeof buffer)) != 0;) {
        ok = got > 0 && ::write(out, buffer, size_t(got)) == got;
    }
    ok = ok && ::fsync(out) == 0;
    ::close(in);
    ::close(out);
    if (!ok) {
        ::unlink(to.constData());
    }
    return ok;
}

} // namespace

Quarantine::Quarantine(QString folder) : m_folder(std::move(folder)) {}

bool Quarantine::prepare(QString* error) const
{
    const QByteArray native = QFile::encodeName(m_folder);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        *error = QStringLiteral("Cannot create the quarantine folder %1: %2")
                     .arg(m_folder, systemError());
        return false;
    }
    struct stat info {};
    if (::stat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        *error = QStringLiteral("The quarantine folder %1 is not a folder").arg(m_folder);
        return false;
    }
    return true;
}

std::optional<QString> Quarantine::take(const QString& savedFile, const QByteArray& uniqueId,
                                        const QDateTime& when, QString* error) const
{
    const QString stem = when.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                         QLatin1Char('-') + safeName(uniqueId);
    const QByteArray from = QFile::encodeName(savedFile);
    for (int attempt = 1; attempt < 1000; ++attempt) {
        const QString name = stem + (attempt > 1 ? QStringLiteral("-%1").arg(attempt) : QString()) +
                             QStringLiteral(".txt");
        const QString target = m_folder + QLatin1Char('/') + name;
        const QByteArray to = QFile::encodeName(target);
        // A hard link never replaces an existing name, unlike rename().
        bool placed = ::link(from.constData(), to.constData()) == 0;
        if (!placed && errno == EEXIST) {
            continue;
        }
        if (!placed && (errno == EXDEV || errno == EPERM)) {
            placed = copyExclusive(from, to);
            if (!placed && errno == EEXIST) {
                continue;
            }
        }
        if (!placed) {
            break;
        }
        ::chmod(to.constData(), 0600);
        ::unlink(from.constData());
        return target;
    }
    *error = QStringLiteral("Cannot move %1 into the quarantine folder %2: %3")
                 .arg(savedFile, m_folder, systemError());
    return std::nullopt;
}
