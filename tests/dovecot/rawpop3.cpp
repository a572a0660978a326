// The ground-truth POP3 client.
#include "tests/dovecot/rawpop3.h"

#include "tests/dovecot/dovecoterror.h"
#include "tests/dovecot/dovecotserver.h"

#include <QList>
#include <algorithm>

namespace dovecot {
namespace {

// QTcpSocket's waits take int milliseconds; at least 1 so that a wait never means "forever".
int remainingMs(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return int(std::max<qint64>(1, left.count()));
}

bool expired(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::steady_clock::now() >= deadline;
}

// "n value" lines of a UIDL or LIST reply.
QList<std::pair<int, QByteArray>> numberedLines(const QByteArray& body)
{
    QList<std::pair<int, QByteArray>> entries;
    if (body.isEmpty()) {
        return entries;
    }
    for (const QByteArray& line : body.split('\n')) {
        const QByteArray trimmed = line.endsWith('\r') ? line.chopped(1) : line;
        const qsizetype space = trimmed.indexOf(' ');
        bool ok = false;
        const int number = trimmed.left(space).toInt(&ok);
        if (space < 0 || !ok) {
            throw DovecotError(
                QStringLiteral("Unexpected listing line \"%1\"").arg(QString::fromLatin1(trimmed)));
        }
        entries.append({number, trimmed.mid(space + 1)});
    }
    return entries;
}

} // namespace

RawPop3::RawPop3(const DovecotServer& server, std::chrono::milliseconds timeout)
    : RawPop3(server.address(), server.port(), timeout)
{
}

RawPop3::RawPop3(const QString& address, quint16 port, std::chrono::milliseconds timeout)
    : m_timeout(timeout)
{
    connectTo(address, port);
}

RawPop3::RawPop3(const DovecotServer& server, const QString& user, const QString& password,
                 std::chrono::milliseconds timeout)
    : RawPop3(server, timeout)
{
    login(user, password);
}

void RawPop3::connectTo(const QString& address, quint16 port)
{
    m_deadline = std::chrono::steady_clock::now() + m_timeout;
    m_socket.connectToHost(address, port);
    if (!m_socket.waitForConnected(remainingMs(m_deadline))) {
        throw DovecotError(QStringLiteral("Cannot connect to %1:%2: %3")
                               .arg(address)
                               .arg(port)
                               .arg(m_socket.errorString()));
    }
    m_greeting = readStatusLine("(greeting)");
    if (!m_greeting.startsWith("+OK")) {
        fail(QStringLiteral("greeting is not +OK: %1").arg(QString::fromLatin1(m_greeting)));
    }
}

QByteArray RawPop3::command(const QByteArray& line)
{
    if (line.contains('\r') || line.contains('\n')) {
        throw DovecotError(QStringLiteral("A command line cannot hold CR or LF"));
    }
    m_deadline = std::chrono::steady_clock::now() + m_timeout;
    m_socket.write(line + "\r\n");
    while (m_socket.bytesToWrite() > 0) {
        if (!m_socket.waitForBytesWritten(remainingMs(m_deadline))) {
            fail(QStringLiteral("cannot send %1: %2")
                     .arg(QString::fromLatin1(line), m_socket.errorString()));
        }
    }
    return readStatusLine(line);
}

QByteArray RawPop3::expectOk(const QByteArray& line)
{
    const QByteArray status = command(line);
    if (!status.startsWith("+OK")) {
        // Never echo a password into a test log.
        const QByteArray shown = line.startsWith("PASS ") ? QByteArray("PASS ****") : line;
        fail(QStringLiteral("%1 answered %2")
                 .arg(QString::fromLatin1(shown), QString::fromLatin1(status)));
    }
    return status;
}

QByteArray RawPop3::multiLine(const QByteArray& line)
{
    expectOk(line);
    return readBody(line);
}

void RawPop3::login(const QString& user, const QString& password)
{
    expectOk("USER " + user.toUtf8());
    expectOk("PASS " + password.toUtf8());
}

std::pair<int, qint64> RawPop3::stat()
{
    const QList<QByteArray> fields = expectOk("STAT").split(' ');
    bool countOk = false;
    bool sizeOk = false;
    const std::pair<int, qint64> result{fields.value(1).toInt(&countOk),
                                        fields.value(2).toLongLong(&sizeOk)};
    if (!countOk || !sizeOk) {
        fail(QStringLiteral("unexpected STAT reply"));
    }
    return result;
}

QMap<int, QByteArray> RawPop3::uidl()
{
    QMap<int, QByteArray> ids;
    for (const auto& [number, id] : numberedLines(multiLine("UIDL"))) {
        ids.insert(number, id);
    }
    return ids;
}

QMap<int, qint64> RawPop3::list()
{
    QMap<int, qint64> sizes;
    for (const auto& [number, size] : numberedLines(multiLine("LIST"))) {
        sizes.insert(number, size.toLongLong());
    }
    return sizes;
}

QByteArray RawPop3::retrBody(int message)
{
    return multiLine("RETR " + QByteArray::number(message));
}

QByteArray RawPop3::top(int message, int lines)
{
    return multiLine("TOP " + QByteArray::number(message) + ' ' + QByteArray::number(lines));
}

void RawPop3::dele(int message)
{
    expectOk("DELE " + QByteArray::number(message));
}

void RawPop3::quit()
{
    expectOk("QUIT");
    while (m_socket.state() != QAbstractSocket::UnconnectedState) {
        if (expired(m_deadline)) {
            fail(QStringLiteral("server did not close the connection after QUIT"));
        }
        m_socket.waitForDisconnected(remainingMs(m_deadline));
    }
}

QByteArray RawPop3::readStatusLine(const QByteArray& sent)
{
    qsizetype end = m_buffer.indexOf("\r\n");
    while (end < 0) {
        waitForMore(sent);
        end = m_buffer.indexOf("\r\n");
    }
    const QByteArray status = m_buffer.left(end);
    m_buffer.remove(0, end + 2);
    return status;
}

// The terminating "." line follows a CR LF, which for an empty body is the status line's own.
QByteArray RawPop3::readBody(const QByteArray& sent)
{
    for (;;) {
        if (m_buffer.startsWith(".\r\n")) {
            m_buffer.remove(0, 3);
            return {};
        }
        const qsizetype end = m_buffer.indexOf("\r\n.\r\n");
        if (end >= 0) {
            const QByteArray body = m_buffer.left(end);
            m_buffer.remove(0, end + 5);
            return body;
        }
        waitForMore(sent);
    }
}

void RawPop3::waitForMore(const QByteArray& sent)
{
    const qsizetype before = m_buffer.size();
    if (m_socket.bytesAvailable() == 0 && !expired(m_deadline)) {
        m_socket.waitForReadyRead(remainingMs(m_deadline));
    }
    // Bytes that arrived just before a close are still readable; take them first.
    m_buffer += m_socket.readAll();
    if (m_buffer.size() > before) {
        return;
    }
    const QString verb = QString::fromLatin1(sent.left(sent.indexOf(' ')));
    if (m_socket.state() != QAbstractSocket::ConnectedState) {
        fail(QStringLiteral("connection closed while waiting for the reply to %1").arg(verb));
    }
    if (expired(m_deadline)) {
        fail(QStringLiteral("no complete reply to %1 within %2 ms")
                 .arg(verb)
                 .arg(m_timeout.count()));
    }
}

void RawPop3::fail(const QString& what) const
{
    throw DovecotError(QStringLiteral("POP3 %1:%2: %3 (unread: \"%4\")")
                           .arg(m_socket.peerName())
                           .arg(m_socket.peerPort())
                           .arg(what, QString::fromLatin1(m_buffer.left(200))));
}

} // namespace dovecot
