#include "scanner/rememberedmessages.h"

#include "platform/regularfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kMagic = "Orsel remembered clean messages 1";
constexpr qsizetype kChunk = 64 * 1024;

bool writeAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size_t(size));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        data += done;
        size -= done;
    }
    return true;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// A unique id is one line of printable characters (RFC 1939, 7); anything else is not stored.
bool storable(const QByteArray& id)
{
    return !id.isEmpty() && std::all_of(id.begin(), id.end(), [](char c) { return c > ' '; });
}

} // namespace

RememberedMessages::RememberedMessages(QString stateFolder, const QString& account,
                                       QByteArray engines)
    : m_folder(std::move(stateFolder)), m_engines(std::move(engines))
{
    // Named by a hash, so the file name gives no account away and needs no escaping.
    const QByteArray key =
        QCryptographicHash::hash(account.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    m_path = m_folder + QStringLiteral("/remembered-") + QString::fromLatin1(key);
}

QString RememberedMessages::defaultFolder()
{
    QString base = qEnvironmentVariable("XDG_STATE_HOME");
    if (base.isEmpty()) {
        base = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return base + QStringLiteral("/Orsel");
}

void RememberedMessages::load()
{
    m_clean.clear();
    m_inFile = false;
    QFile file;
    QString reason;
    if (!platform::openRegularFile(file, m_path, &reason)) {
        return;
    }
    const QByteArrayList lines = file.readAll().split('\n');
    if (lines.size() < 2 || lines[0] != kMagic || lines[1] != "engines " + m_engines) {
        return; // another format, or found clean by other definitions: forgotten
    }
    for (qsizetype i = 2; i < lines.size(); ++i) {
        if (storable(lines[i])) {
            m_clean.insert(lines[i]);
        }
    }
    m_inFile = true;
}

bool RememberedMessages::save(const QSet<QByteArray>& clean, QString* error,
                              const std::function<void()>& afterChunk)
{
    QSet<QByteArray> kept;
    for (const QByteArray& id : clean) {
        if (storable(id)) {
            kept.insert(id);
        }
    }
    if (m_inFile && kept == m_clean) {
        return true;
    }
    if (!write(kept, error, afterChunk)) {
        return false;
    }
    m_clean = kept;
    m_inFile = true;
    return true;
}

bool RememberedMessages::write(const QSet<QByteArray>& clean, QString* error,
                               const std::function<void()>& afterChunk) const
{
    if (!QDir().mkpath(m_folder)) {
        *error = QStringLiteral("cannot create %1").arg(m_folder);
        return false;
    }
    QFile::setPermissions(m_folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QByteArrayList ids(clean.begin(), clean.end());
    std::sort(ids.begin(), ids.end());
    QByteArray content = kMagic + "\nengines " + m_engines + '\n';
    for (const QByteArray& id : std::as_const(ids)) {
        content += id + '\n';
    }

    const QByteArray side = QFile::encodeName(m_path + QStringLiteral(".new"));
    const int fd =
        ::open(side.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(QFile::decodeName(side), systemError());
        return false;
    }
    ::fchmod(fd, 0600); // a side file left by an older run keeps no wider mode
    bool ok = true;
    for (qsizetype at = 0; ok && at < content.size(); at += kChunk) {
        ok = writeAll(fd, content.constData() + at, std::min(kChunk, content.size() - at));
        if (ok && afterChunk) {
            afterChunk();
        }
    }
    ok = ok && ::fsync(fd) == 0;
    const QString reason = systemError();
    ::close(fd);
    if (!ok || ::rename(side.constData(), QFile::encodeName(m_path).constData()) != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(m_path, ok ? systemError() : reason);
        ::unlink(side.constData());
        return false;
    }
    // The rename itself reaches the disk only with its folder.
    if (const int folder =
            ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}
