#include "bench/remotescan/delayproxy.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kReadSize = 64 * 1024;

sockaddr_in addressOf(const QByteArray& host, quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, host.constData(), &address.sin_addr);
    return address;
}

// Data goes out as soon as it is due: no Nagle delay of our own on top of the one we add.
void prepare(int fd)
{
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

QByteArray systemError(const char* what)
{
    return QByteArray(what) + ": " + std::strerror(errno);
}

} // namespace

DelayProxy::DelayProxy(QByteArray listenAddress, quint16 listenPort, QByteArray serverAddress,
                       quint16 serverPort, std::chrono::milliseconds delay)
    : m_listenAddress(std::move(listenAddress)), m_listenPort(listenPort),
      m_serverAddress(std::move(serverAddress)), m_serverPort(serverPort), m_delay(delay)
{
}

DelayProxy::~DelayProxy()
{
    if (m_thread.joinable()) {
        m_stopping = true;
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(m_wake[1], &byte, 1);
        m_thread.join();
    }
    for (const auto& connection : m_connections) {
        ::close(connection->up.from);
        ::close(connection->down.from);
    }
    for (int fd : {m_listener, m_wake[0], m_wake[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool DelayProxy::start(QByteArray* error)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    const sockaddr_in address = addressOf(m_listenAddress, m_listenPort);
    if (::bind(m_listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0) {
        *error = systemError("cannot listen on " + m_listenAddress + ':' +
                             QByteArray::number(m_listenPort));
        return false;
    }
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        *error = systemError("pipe");
        return false;
    }
    m_thread = std::thread([this] { run(); });
    return true;
}

QList<DelayProxy::Session> DelayProxy::takeSessions(int count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_finished.size() >= count || Clock::now() > deadline) {
                return std::exchange(m_finished, {});
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void DelayProxy::accept()
{
    const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
        return;
    }
    const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = addressOf(m_serverAddress, m_serverPort);
    if (::connect(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(server);
        ::close(client);
        return;
    }
    prepare(client);
    prepare(server);
    auto connection = std::make_unique<Connection>();
    connection->session.connected = Clock::now();
    connection->up.from = connection->down.to = client;
    connection->up.to = connection->down.from = server;
    m_connections.push_back(std::move(connection));
}

void DelayProxy::read(Connection& connection, Direction& direction)
{
    QByteArray bytes(kReadSize, Qt::Uninitialized);
    const ssize_t got = ::recv(direction.from, bytes.data(), size_t(bytes.size()), 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    bytes.truncate(got > 0 ? got : 0);
    if (bytes.isEmpty()) {
        direction.readClosed = true; // end of stream (or a reset): passed on like data
        (&direction == &connection.up ? connection.session.clientClosed
                                      : connection.session.serverClosed) = Clock::now();
    } else if (&direction == &connection.up) {
        noteClientBytes(connection, bytes);
    } else {
        connection.serverSpokeLast = true;
        connection.session.bytesToClient += bytes.size();
    }
    direction.queue.push_back(Piece{Clock::now() + m_delay, bytes});
}

void DelayProxy::noteClientBytes(Connection& connection, const QByteArray& bytes)
{
    Session& session = connection.session;
    if (connection.serverSpokeLast) {
        session.turns.append(QByteArrayList());
        session.turnStarts.append(Clock::now());
        connection.serverSpokeLast = false;
    }
    session.bytesToServer += bytes.size();
    connection.pendingLine += bytes;
    for (qsizetype end = connection.pendingLine.indexOf("\r\n"); end >= 0;
         end = connection.pendingLine.indexOf("\r\n")) {
        QByteArray line = connection.pendingLine.first(end);
        connection.pendingLine.remove(0, end + 2);
        session.turns.last().append(line.startsWith("PASS ") ? QByteArray("PASS ****") : line);
    }
}

void DelayProxy::flush(Direction& direction, Clock::time_point now)
{
    while (!direction.queue.empty() && direction.queue.front().due <= now) {
        Piece& piece = direction.queue.front();
        if (piece.bytes.isEmpty()) {
            ::shutdown(direction.to, SHUT_WR);
            direction.writeClosed = true;
            direction.queue.pop_front();
            continue;
        }
        const ssize_t sent =
            ::send(direction.to, piece.bytes.constData(), size_t(piece.bytes.size()), MSG_NOSIGNAL);
        if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
            return; // polled for writing
        }
        if (sent < 0) {
            direction.queue.clear(); // the receiver is gone: nothing more reaches it
            direction.writeClosed = direction.readClosed;
            return;
        }
        piece.bytes.remove(0, sent);
        if (piece.bytes.isEmpty()) {
            direction.queue.pop_front();
        }
    }
}

int DelayProxy::pollTimeoutMs(Clock::time_point now) const
{
    int timeout = -1;
    for (const auto& connection : m_connections) {
        for (const Direction* direction : {&connection->up, &connection->down}) {
            // A due piece that is still queued waits for the socket to take it (POLLOUT).
            if (direction->queue.empty() || direction->queue.front().due <= now) {
                continue;
            }
            const auto wait =
                std::chrono::ceil<std::chrono::milliseconds>(direction->queue.front().due - now)
                    .count();
            const int ms = int(std::max<qint64>(0, wait));
            timeout = timeout < 0 ? ms : std::min(timeout, ms);
        }
    }
    return timeout;
}

void DelayProxy::run()
{
    while (!m_stopping) {
        std::vector<pollfd> fds = {{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const auto& connection : m_connections) {
            for (const Direction* direction : {&connection->up, &connection->down}) {
                const bool due =
                    !direction->queue.empty() && direction->queue.front().due <= Clock::now();
                fds.push_back({direction->from, short(direction->readClosed ? 0 : POLLIN), 0});
                fds.push_back({direction->to, short(due ? POLLOUT : 0), 0});
            }
        }
        ::poll(fds.data(), fds.size(), pollTimeoutMs(Clock::now()));
        if (fds[1].revents & POLLIN) {
            accept();
        }
        std::size_t at = 2;
        for (const auto& connection : m_connections) {
            for (Direction* direction : {&connection->up, &connection->down}) {
                if (at < fds.size() && fds[at].fd == direction->from &&
                    (fds[at].revents & (POLLIN | POLLHUP | POLLERR)) && !direction->readClosed) {
                    read(*connection, *direction);
                }
                at += 2;
                flush(*direction, Clock::now());
            }
        }
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if ((*it)->done()) {
                ::close((*it)->up.from);
                ::close((*it)->down.from);
                const std::lock_guard lock(m_mutex);
                m_finished.append((*it)->session);
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
    }
}
