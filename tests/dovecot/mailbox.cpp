// Filling one user's Maildir and looking at what the server left in it.
#include "tests/dovecot/mailbox.h"

#include "tests/dovecot/dovecoterror.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace dovecot {
namespace {

constexpr uid_t mailId = 65534;

// Dovecot numbers new messages by the time in their file names (seconds, then ".M" microseconds),
// so each name carries a strictly increasing time: messages keep the order they were added in.
QByteArray nextFileName()
{
    static std::mutex mutex;
    static qint64 lastMicros = 0;
    static int sequence = 0;
    const std::lock_guard lock(mutex);
    const qint64 now = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
    lastMicros = std::max(now, lastMicros + 1);
    return QByteArray::number(lastMicros / 1000000) + ".M" +
           QByteArray::number(lastMicros % 1000000) + 'P' +
           QByteArray::number(QCoreApplication::applicationPid()) + 'Q' +
           QByteArray::number(++sequence) + ".vorlane";
}

} // namespace

Mailbox::Mailbox(QString user, QString password, QString maildir)
    : m_user(std::move(user)), m_password(std::move(password)), m_maildir(std::move(maildir))
{
}

QByteArray Mailbox::addMessage(const QByteArray& rfc822) const
{
    QByteArray stored = rfc822;
    stored.replace("\r\n", "\n");
    return addStoredMessage(stored);
}

// Written in tmp/ and renamed into new/, as the Maildir convention asks, so that a session that
// is open at the same time never sees half a message.
QByteArray Mailbox::addStoredMessage(const QByteArray& bytes) const
{
    const QByteArray name = nextFileName();
    const QString temporary = m_maildir + QStringLiteral("/tmp/") + QString::fromLatin1(name);
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()) {
        throw DovecotError(
            QStringLiteral("Cannot write %1: %2").arg(temporary, file.errorString()));
    }
    file.close();
    const QByteArray encoded = QFile::encodeName(temporary);
    if (::chown(encoded.constData(), mailId, mailId) != 0) {
        throw DovecotError(
            QStringLiteral("Cannot give %1 to uid 65534: %2").arg(temporary, strerror(errno)));
    }
    const QString final = m_maildir + QStringLiteral("/new/") + QString::fromLatin1(name);
    if (::rename(encoded.constData(), QFile::encodeName(final).constData()) != 0) {
        throw DovecotError(
            QStringLiteral("Cannot move %1 into new/: %2").arg(temporary, strerror(errno)));
    }
    return name;
}

QStringList Mailbox::messageFiles() const
{
    QStringList files;
    for (const char* folder : {"/cur", "/new"}) {
        const QDir dir(m_maildir + QLatin1String(folder));
        for (const QString& name : dir.entryList(QDir::Files)) {
            files << dir.filePath(name);
        }
    }
    files.sort();
    return files;
}

bool Mailbox::containsMessage(const QByteArray& uidl) const
{
    const QStringList files = messageFiles();
    return std::any_of(files.cbegin(), files.cend(), [&](const QString& path) {
        const QString name = QFileInfo(path).fileName();
        return name.section(u':', 0, 0).toLatin1() == uidl;
    });
}

} // namespace dovecot
