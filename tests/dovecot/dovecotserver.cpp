// The fixture's server and its users.
#include "tests/dovecot/dovecotserver.h"

#include "tests/dovecot/dovecoterror.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageAuthenticationCode>
#include <QRegularExpression>
#include <QtGlobal>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace dovecot {
namespace {

constexpr uid_t mailId = 65534;

QString readStateFile(const QString& stateDir, const QString& name)
{
    QFile file(stateDir + u'/' + name);
    if (!file.open(QIODevice::ReadOnly)) {
        throw DovecotError(QStringLiteral("The Dovecot fixture in %1 is not running (no %2); "
                                          "did its _start test fail?")
                               .arg(stateDir, name));
    }
    return QString::fromUtf8(file.readAll()).trimmed();
}

void makeMailDir(const QString& path)
{
    if (!QDir().mkdir(path)) {
        throw DovecotError(QStringLiteral("Cannot create %1").arg(path));
    }
    if (::chown(QFile::encodeName(path).constData(), mailId, mailId) != 0) {
        throw DovecotError(
            QStringLiteral("Cannot give %1 to uid 65534: %2").arg(path, strerror(errno)));
    }
}

// Written aside and renamed into place, so that Dovecot never reads half an entry.
void writeUserFile(const QString& stateDir, const QString& user, const QByteArray& line)
{
    const QString temporary = QStringLiteral("%1/passwd.d.%2.tmp").arg(stateDir, user);
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly) || file.write(line) != line.size() || !file.flush()) {
        throw DovecotError(
            QStringLiteral("Cannot write %1: %2").arg(temporary, file.errorString()));
    }
    file.close();
    const QString final = QStringLiteral("%1/passwd.d/%2").arg(stateDir, user);
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(final).constData()) !=
        0) {
        throw DovecotError(QStringLiteral("Cannot rename %1: %2").arg(temporary, strerror(errno)));
    }
}

void checkCredentials(const QString& user, const QString& password)
{
    // Dovecot's default auth_username_chars; anything else is refused at login. A leading '.'
    // would make "." and ".." names of folders.
    static const QRegularExpression userChars(QStringLiteral("^[A-Za-z0-9@_-][A-Za-z0-9.@_-]*$"));
    if (!userChars.match(user).hasMatch()) {
        throw DovecotError(
            QStringLiteral("User name \"%1\" has characters Dovecot refuses").arg(user));
    }
    // The passwd-file separates fields with ':' and entries with line ends.
    for (QChar c : password) {
        if (c == u':' || c == u'\n' || c == u'\r') {
            throw DovecotError(
                QStringLiteral("Password of %1 cannot hold ':', CR or LF").arg(user));
        }
    }
}

} // namespace

DovecotServer DovecotServer::fromEnvironment()
{
    const QString dir = qEnvironmentVariable("VORLANE_DOVECOT_DIR");
    if (dir.isEmpty()) {
        throw DovecotError(QStringLiteral("VORLANE_DOVECOT_DIR is not set: the test needs "
                                          "vorlane_use_dovecot() in its CMakeLists.txt"));
    }
    return DovecotServer(dir);
}

DovecotServer::DovecotServer(const QString& stateDir) : m_stateDir(QDir(stateDir).absolutePath())
{
    readStateFile(m_stateDir, QStringLiteral("master.pid"));
    m_address = readStateFile(m_stateDir, QStringLiteral("address"));
    bool ok = false;
    m_port = readStateFile(m_stateDir, QStringLiteral("port")).toUShort(&ok);
    if (!ok || m_port == 0) {
        throw DovecotError(QStringLiteral("Bad port file in %1").arg(m_stateDir));
    }
    // Only a fixture started with TLS has these.
    if (QFileInfo::exists(m_stateDir + QStringLiteral("/tls_port"))) {
        m_tlsPort = readStateFile(m_stateDir, QStringLiteral("tls_port")).toUShort();
        m_caFile = m_stateDir + QStringLiteral("/tls/ca.pem");
    }
}

QByteArray DovecotServer::log() const
{
    QFile file(m_stateDir + QStringLiteral("/dovecot.log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString DovecotServer::uniqueUserName(QStringView hint)
{
    static std::atomic<int> counter{0};
    QString name;
    for (QChar c : hint) {
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                             (c >= u'0' && c <= u'9') || c == u'.' || c == u'_' || c == u'-';
        name += allowed ? c : u'_';
    }
    if (name.startsWith(u'.')) {
        name[0] = u'_';
    }
    return QStringLiteral("%1-%2-%3")
        .arg(name.left(40))
        .arg(QCoreApplication::applicationPid())
        .arg(++counter);
}

Mailbox DovecotServer::createMailbox(const QString& user, const QString& password) const
{
    checkCredentials(user, password);
    const QString home = m_stateDir + QStringLiteral("/mail/") + user;
    // The home folder's mkdir is what makes a user name taken, also between processes.
    if (QFileInfo::exists(home)) {
        throw DovecotError(QStringLiteral("User %1 exists already").arg(user));
    }
    const QString maildir = home + QStringLiteral("/Maildir");
    for (const QString& dir :
         {home, maildir, maildir + QStringLiteral("/cur"), maildir + QStringLiteral("/new"),
          maildir + QStringLiteral("/tmp")}) {
        makeMailDir(dir);
    }
    // The scheme is explicit so that a password beginning with '{' stays a password.
    writeUserFile(m_stateDir, user, user.toUtf8() + ":{PLAIN}" + password.toUtf8() + "::::::\n");
    return Mailbox(user, password, maildir);
}

Mailbox DovecotServer::createMailbox(QStringView hint) const
{
    const QString user = uniqueUserName(hint);
    return createMailbox(user, QStringLiteral("Pw.") + user);
}

QByteArray DovecotServer::bearerToken(const QString& subject, qint64 lifetimeSeconds) const
{
    const QByteArray key = QByteArray::fromBase64(
        readStateFile(m_stateDir, QStringLiteral("keys/default/HS256/default")).toLatin1());
    const auto encoded = [](const QByteArray& bytes) {
        return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    };
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QJsonObject claims{{QStringLiteral("sub"), subject},
                             {QStringLiteral("iat"), now - 60},
                             {QStringLiteral("nbf"), now - 60},
                             {QStringLiteral("exp"), now + lifetimeSeconds}};
    const QByteArray signedPart = encoded(R"({"alg":"HS256","typ":"JWT"})") + '.' +
                                  encoded(QJsonDocument(claims).toJson(QJsonDocument::Compact));
    return signedPart + '.' +
           encoded(QMessageAuthenticationCode::hash(signedPart, key, QCryptographicHash::Sha256));
}

} // namespace dovecot
