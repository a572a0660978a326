#include "scanner/messageassent.h"

#include "platform/regularfile.h"
#include "platform/writeall.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace messageassent {
namespace {

constexpr qint64 kBlock = 256 * 1024;

// Removes the dot that stuffing put at the start of a line; `atLineStart` and `afterCr` carry
// the line state across blocks. Whole lines are copied at once: the dot is looked for only
// after each CR LF.
QByteArray unstuffed(const QByteArray& block, bool* atLineStart, bool* afterCr)
{
    QByteArray out;
    out.reserve(block.size());
    const char* at = block.constData();
    const char* const end = at + block.size();
    while (at < end) {
        if (std::exchange(*atLineStart, false) && *at == '.') {
            ++at;
            *afterCr = false;
            continue;
        }
        const auto* lineFeed = static_cast<const char*>(std::memchr(at, '\n', size_t(end - at)));
        const char* const stop = lineFeed ? lineFeed + 1 : end;
        out.append(at, stop - at);
        if (lineFeed) {
            *atLineStart = lineFeed > at ? lineFeed[-1] == '\r' : *afterCr;
            *afterCr = false;
        } else {
            *afterCr = end[-1] == '\r';
        }
        at = stop;
    }
    return out;
}

} // namespace

QString pathFor(const QString& savedPath)
{
    const QFileInfo saved(savedPath);
    return saved.path() + QStringLiteral("/.") + saved.fileName() + QStringLiteral(".as-sent");
}

bool write(const QString& savedPath, const QString& viewPath, QString* error)
{
    QFile in;
    QString reason;
    if (!platform::openRegularFile(in, savedPath, &reason, true)) {
        *error = QStringLiteral("Cannot open message file %1: %2").arg(savedPath, reason);
        return false;
    }
    const QByteArray target = QFile::encodeName(viewPath);
    ::unlink(target.constData()); // one left by a run that ended midway
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        *error = QStringLiteral("Cannot write %1: %2")
                     .arg(viewPath, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    bool atLineStart = true;
    bool afterCr = false;
    bool ok = true;
    bool empty = true;
    while (ok) {
        const QByteArray block = in.read(kBlock);
        if (block.isEmpty()) {
            ok = in.error() == QFileDevice::NoError;
            break;
        }
        empty = false;
        ok = platform::writeAll(out, unstuffed(block, &atLineStart, &afterCr));
    }
    ok = ok &&
         (empty || platform::writeAll(out, "\r\n")); // the last line's end the saved file drops
    const QString why = QString::fromLocal8Bit(std::strerror(errno));
    ok = ::close(out) == 0 && ok;
    if (!ok) {
        *error = QStringLiteral("Cannot write %1: %2").arg(viewPath, why);
        ::unlink(target.constData());
    }
    return ok;
}

} // namespace messageassent
