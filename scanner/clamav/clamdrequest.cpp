#include "scanner/clamav/clamdrequest.h"

#include "platform/clock.h"
#include "platform/pump.h"
#include "scanner/clamav/clamdreply.h"

#include <QIODevice>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <unistd.h>

namespace scanner {
namespace {

using Outcome = ClamdRequest::Outcome;

constexpr qint64 kChunkBytes = 64 * 1024;

QString unreachableReason(const QLocalSocket& socket)
{
    switch (socket.error()) {
    case QLocalSocket::ServerNotFoundError:
        return QStringLiteral("no such socket");
    case QLocalSocket::ConnectionRefusedError:
        return QStringLiteral("connection refused (is the daemon running?)");
    case QLocalSocket::SocketAccessError:
        return QStringLiteral("permission denied");
    default:
        return socket.errorString();
    }
}

// The connection of one request. Each step returns false once the request has failed; the
// failure is then in result.
class Connection {
public:
    Connection(const QString& path, const ClamdRequest::Limits& limits) : m_limits(limits)
    {
        m_socket.connectToServer(path);
    }

    bool open();
    bool send(const QByteArray& bytes);
    bool passDescriptor(int fd);
    bool stream(QIODevice& data);
    ClamdRequest::Result finish();

    ClamdRequest::Result result;

private:
    bool closed() const { return m_socket.state() == QLocalSocket::UnconnectedState; }
    bool fail(Outcome outcome, const QString& reason);
    bool collect();
    bool waitUntil(const std::function<bool()>& done, const std::function<bool()>& progressed);
    bool waitForWritten();

    ClamdRequest::Limits m_limits;
    QLocalSocket m_socket;
    QByteArray m_received;
};

bool Connection::fail(Outcome outcome, const QString& reason)
{
    result.outcome = outcome;
    result.reason = reason;
    return false;
}

// Takes what has arrived; true when something had.
bool Connection::collect()
{
    const QByteArray bytes = m_socket.readAll();
    m_received += bytes;
    return !bytes.isEmpty();
}

// Pumps until `done`; false when nothing `progressed` for the silence limit.
bool Connection::waitUntil(const std::function<bool()>& done,
                           const std::function<bool()>& progressed)
{
    qint64 deadline = platform::monotonicMilliseconds() + m_limits.silenceMs;
    while (!done()) {
        const qint64 now = platform::monotonicMilliseconds();
        if (progressed()) {
            deadline = now + m_limits.silenceMs;
        } else if (now > deadline) {
            return false;
        }
        platform::pumpEvents();
    }
    return true;
}

bool Connection::open()
{
    const qint64 deadline = platform::monotonicMilliseconds() + m_limits.connectMs;
    while (m_socket.state() == QLocalSocket::ConnectingState) {
        if (platform::monotonicMilliseconds() > deadline) {
            return fail(Outcome::Unreachable,
                        QStringLiteral("no connection within %1")
                            .arg(ClamdRequest::limitText(m_limits.connectMs)));
        }
        platform::pumpEvents();
    }
    if (m_socket.state() != QLocalSocket::ConnectedState) {
        return fail(Outcome::Unreachable, unreachableReason(m_socket));
    }
    return true;
}

// Until nothing waits in the socket's buffer, or the daemon closed.
bool Connection::waitForWritten()
{
    qint64 waiting = m_socket.bytesToWrite();
    const bool moved = waitUntil([&] { return closed() || m_socket.bytesToWrite() == 0; },
                                 [&] {
                                     const qint64 now = m_socket.bytesToWrite();
                                     const bool less = now < waiting;
                                     waiting = now;
                                     return less;
                                 });
    return moved || fail(Outcome::Silent, QStringLiteral("it took nothing more for %1")
                                              .arg(ClamdRequest::limitText(m_limits.silenceMs)));
}

bool Connection::send(const QByteArray& bytes)
{
    m_socket.write(bytes);
    m_socket.flush();
    return waitForWritten();
}

bool Connection::passDescriptor(int fd)
{
    // The one byte that carries the descriptor: clamd needs at least one.
    char dummy = 0;
    iovec data{&dummy, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
    int error = 0;
    const bool sent = waitUntil(
        [&] {
            const ssize_t n = ::sendmsg(int(m_socket.socketDescriptor()), &message, MSG_NOSIGNAL);
            error = n == 1 ? 0 : errno;
            return n == 1 || (error != EAGAIN && error != EINTR);
        },
        [] { return false; });
    if (!sent) {
        return fail(Outcome::Silent, QStringLiteral("it took no descriptor for %1")
                                         .arg(ClamdRequest::limitText(m_limits.silenceMs)));
    }
    return error == 0 || fail(Outcome::WentAway, QString::fromLocal8Bit(std::strerror(error)));
}

// The chunks go out by send() on a descriptor of their own. A daemon that ends the stream early
// (its StreamMaxLength) answers and closes while chunks still come: a write failing inside
// QLocalSocket would close it and drop that answer unread, where here it only ends the sending.
bool Connection::stream(QIODevice& data)
{
    if (!send(QByteArray("zINSTREAM", 10))) {
        return false;
    }
    const int fd = ::dup(int(m_socket.socketDescriptor()));
    if (fd < 0) {
        return fail(Outcome::Failed, QString::fromLocal8Bit(std::strerror(errno)));
    }
    QSocketNotifier writable(fd, QSocketNotifier::Write); // wakes the pump when it takes more
    QByteArray pending;
    bool last = false;
    bool ok = true;
    qint64 deadline = platform::monotonicMilliseconds() + m_limits.silenceMs;
    while (ok && m_received.isEmpty() && !(last && pending.isEmpty())) {
        if (pending.isEmpty()) {
            const QByteArray chunk = data.read(kChunkBytes);
            if (chunk.isEmpty() && !data.atEnd()) {
                ok = fail(
                    Outcome::Failed,
                    QStringLiteral("cannot read the saved message: %1").arg(data.errorString()));
                break;
            }
            const quint32 length = qToBigEndian(quint32(chunk.size()));
            pending = QByteArray(reinterpret_cast<const char*>(&length), sizeof(length)) + chunk;
            last = chunk.isEmpty();
        }
        const ssize_t n = ::send(fd, pending.constData(), size_t(pending.size()), MSG_NOSIGNAL);
        if (n >= 0) {
            pending.remove(0, n);
            deadline = platform::monotonicMilliseconds() + m_limits.silenceMs;
        } else if (errno != EAGAIN && errno != EINTR) {
            break; // the daemon closed the stream: finish() reads why
        } else if (platform::monotonicMilliseconds() > deadline) {
            ok = fail(Outcome::Silent, QStringLiteral("it took nothing more for %1")
                                           .arg(ClamdRequest::limitText(m_limits.silenceMs)));
        } else {
            platform::pumpEvents();
            collect(); // an answer ends the stream too
        }
    }
    writable.setEnabled(false); // before its descriptor goes
    ::close(fd);
    return ok;
}

ClamdRequest::Result Connection::finish()
{
    const bool ended = waitUntil([&] { return closed() && !m_socket.bytesAvailable(); },
                                 [&] { return collect(); });
    collect();
    result.replies = clamdRecords(m_received);
    if (!result.replies.isEmpty()) {
        result.outcome = Outcome::Answered;
    } else if (ended) {
        fail(Outcome::WentAway, QStringLiteral("the connection closed without an answer"));
    } else {
        fail(
            Outcome::Silent,
            QStringLiteral("no answer within %1").arg(ClamdRequest::limitText(m_limits.silenceMs)));
    }
    return result;
}

} // namespace

ClamdRequest::Result ClamdRequest::command(const QString& socket, const QByteArray& name,
                                           const Limits& limits)
{
    Connection connection(socket, limits);
    if (!connection.open() || !connection.send('z' + name + '\0')) {
        return connection.result;
    }
    return connection.finish();
}

ClamdRequest::Result ClamdRequest::descriptor(const QString& socket, int fd, const Limits& limits)
{
    Connection connection(socket, limits);
    if (!connection.open() || !connection.send(QByteArray("zFILDES", 8)) ||
        !connection.passDescriptor(fd)) {
        return connection.result;
    }
    return connection.finish();
}

ClamdRequest::Result ClamdRequest::stream(const QString& socket, QIODevice& data,
                                          const Limits& limits)
{
    Connection connection(socket, limits);
    if (!connection.open() || !connection.stream(data)) {
        return connection.result;
    }
    return connection.finish();
}

} // namespace scanner
