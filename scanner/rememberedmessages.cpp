#include "scanner/rememberedmessages.h"

#include "platform/regularfile.h"
#include "platform/writeall.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kMagic = "Orsel remembered clean messages 1";
constexpr qsizetype kChunk = 64 * 1024;

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

QString RememberedMessages::load()
{
    m_clean.clear();
    m_inFile = false;
    QString reason;
    const std::optional<QByteArray> content =
        platform::readRegularFile(m_path, kMaximumFileBytes, &reason);
    if (!content) {
        // Too large to be ours (nor worth the memory it would take): said, and replaced.
        return QFile::exists(m_path) && QFileInfo(m_path).isFile()
                   ? QStringLiteral("the memory file %1 is %2; it is ignored and rewritten")
                         .arg(m_path, reason)
                   : QString();
    }
    QByteArrayList lines = content->split('\n');
    lines.removeLast(); // "" after the last line end, or a line a failed write cut off
    if (lines.size() < 2 || lines[0] != kMagic || lines[1] != "engines " + m_engines) {
        return {}; // another format, or found clean by other definitions: forgotten
    }
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const qsizetype space = lines[i].lastIndexOf(' ');
        bool isNumber = false;
        const qint32 sizeInK = space > 0 ? lines[i].mid(space + 1).toInt(&isNumber) : 0;
        const QByteArray id = lines[i].left(space);
        if (isNumber && sizeInK >= 0 && storable(id)) {
            m_clean.insert(id, sizeInK);
        }
    }
    m_inFile = true;
    return {};
}

bool RememberedMessages::save(const Sizes& clean, QString* error,
                              const std::function<void()>& afterChunk)
{
    Sizes kept;
    for (auto it = clean.cbegin(); it != clean.cend(); ++it) {
        if (storable(it.key()) && it.value() >= 0) {
            kept.insert(it.key(), it.value());
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

bool RememberedMessages::write(const Sizes& clean, QString* error,
                               const std::function<void()>& afterChunk) const
{
    if (!QDir().mkpath(m_folder)) {
        *error = QStringLiteral("cannot create %1").arg(m_folder);
        return false;
    }
    // A link in the folder's place is not followed: its target's mode is not ours to change, nor
    // is the memory written where it points.
    const int folder = ::open(QFile::encodeName(m_folder).constData(),
                              O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder < 0) {
        *error = QStringLiteral("the state folder %1 is a symbolic link or no folder: %2")
                     .arg(m_folder, systemError());
        return false;
    }
    ::fchmod(folder, 0700);
    const bool written = writeIn(folder, clean, error, afterChunk);
    ::close(folder);
    return written;
}

bool RememberedMessages::writeIn(int folder, const Sizes& clean, QString* error,
                                 const std::function<void()>& afterChunk) const
{
    QByteArrayList ids = clean.keys();
    std::sort(ids.begin(), ids.end());
    QByteArray content = kMagic + "\nengines " + m_engines + '\n';
    for (const QByteArray& id : std::as_const(ids)) {
        content += id + ' ' + QByteArray::number(clean.value(id)) + '\n';
    }

    // A side file of this run's own: two runs writing into one would mix their memories.
    QByteArray side = QFile::encodeName(m_path + QStringLiteral(".new-XXXXXX"));
    const int fd = ::mkostemp(side.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(QFile::decodeName(side), systemError());
        return false;
    }
    bool ok = true;
    for (qsizetype at = 0; ok && at < content.size(); at += kChunk) {
        ok = platform::writeAll(
            fd, QByteArrayView(content).sliced(at, std::min(kChunk, content.size() - at)));
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
    ::fsync(folder); // the rename itself reaches the disk only with its folder
    return true;
}
