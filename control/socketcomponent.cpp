#include "control/socketcomponent.h"

#include "platform/pump.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QScopedValueRollback>
#include <QSslCipher>
#include <QSslError>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <poll.h>
#include <sys/socket.h>

namespace {

// Bounds what the socket buffers ahead of the reader, so a large message never sits in memory.
constexpr qint64 kReadBufferLimit = 1024 * 1024;
// Over TLS the limit applies to the encrypted socket's buffer and to the decrypted one, and each
// refill passes through OpenSSL's input buffer as well: a quarter of the plain limit keeps the
// three of them under what the plain socket alone holds, at the same speed (decryption, not the
// number of reads, is what a TLS transfer waits for).
constexpr qint64 kTlsReadBufferLimit = kReadBufferLimit / 4;

// A handler that could not read (it was busy further up the stack) is asked again shortly;
// new bytes or its own return ask at once.
constexpr int kRetryAfterNoProgressMs = 10;

struct ErrorMapping {
    QAbstractSocket::SocketError qtError;
    qint16 number;
    const char* description;
};

constexpr ErrorMapping kErrorTable[] = {
    {QAbstractSocket::ConnectionRefusedError, 10061, "Connection is forcefully rejected"},
    {QAbstractSocket::HostNotFoundError, 11001, "Authoritative answer: Host not found"},
    {QAbstractSocket::SocketTimeoutError, 10060, "Connection timed out"},
    {QAbstractSocket::SocketAccessError, 10013, "Permission denied"},
    {QAbstractSocket::SocketResourceError, 10055, "No buffer space available"},
    {QAbstractSocket::NetworkError, 10050, "Network is down"},
    {QAbstractSocket::AddressInUseError, 10048, "Address is already in use"},
    {QAbstractSocket::SocketAddressNotAvailableError, 10049, "Address is not available"},
    {QAbstractSocket::UnsupportedSocketOperationError, 10045, "Operation not supported"},
};

constexpr int kSettlePasses = 4;

// Whether the peer's FIN (or reset) is waiting on the descriptor, without reading anything.
bool kernelHasPeerClose(qintptr descriptor)
{
    if (descriptor < 0) {
        return false;
    }
    pollfd entry{static_cast<int>(descriptor), POLLRDHUP, 0};
    return ::poll(&entry, 1, 0) == 1 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

constexpr qint16 kGenericErrorNumber = 10053;
constexpr const char* kGenericErrorText = "Connection is aborted due to timeout or other failure";

} // namespace

SocketComponent::SocketComponent(QObject* parent)
    : QObject(parent), m_lowWaterMark([this] { return m_socket->socketDescriptor(); })
{
    useSocket(false);
}

void SocketComponent::useSocket(bool tlsCapable)
{
    if (m_socket && (m_tls != nullptr) == tlsCapable) {
        return;
    }
    // Constructing a QSslSocket loads Qt's TLS backend and OpenSSL (milliseconds and megabytes
    // per process), which a plain POP3 session never needs.
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_tls = tlsCapable ? new QSslSocket(this) : nullptr;
    m_socket = m_tls ? m_tls : new QTcpSocket(this);
    m_socket->setReadBufferSize(m_tls ? kTlsReadBufferLimit : kReadBufferLimit);
    // Qt's signals are only hints: every one of them schedules one coalesced check, which
    // decides what to raise from the socket's actual state.
    connect(m_socket, &QTcpSocket::connected, this, [this] {
        // With TLS from the first byte the connection is usable only once the handshake is done;
        // Qt starts that handshake itself now.
        if (m_state == Connecting && m_secureAtConnect) {
            m_handshaking = true;
        } else if (m_state == Connecting) {
            m_state = Connected;
        }
        scheduleCheck();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { checkOnArrival(); });
    connect(m_socket, &QTcpSocket::channelReadyRead, this, [this] { checkOnArrival(); });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_state == Connected) {
            m_peerClosed = true;
        }
        scheduleCheck();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] { onQtError(); });
    if (!m_tls) {
        return;
    }
    connect(m_tls, &QSslSocket::encrypted, this, [this] { onEncrypted(); });
    connect(m_tls, &QSslSocket::sslErrors, this,
            [this](const QList<QSslError>& errors) { onSslErrors(errors); });
}

void SocketComponent::onSslErrors(const QList<QSslError>& errors)
{
    if (m_trust.acceptsDespite(errors, m_tls->peerCertificateChain(), m_peerVerifyName)) {
        m_tls->ignoreSslErrors();
        return;
    }
    // Not ignored, so the handshake fails next; its error names only the first of these.
    QByteArrayList reasons;
    for (const QSslError& e : errors) {
        reasons.append(e.errorString().toUtf8());
    }
    m_verificationFailure = reasons.join("; ");
}

SocketComponent::~SocketComponent() = default;

QByteArray SocketComponent::remoteHostIP() const
{
    if (m_state != Connected && m_state != Closing) {
        return {};
    }
    return m_socket->peerAddress().toString().toLatin1();
}

qint64 SocketComponent::bytesReceived() const
{
    if (m_state == Closed) {
        return 0;
    }
    return m_socket->bytesAvailable();
}

void SocketComponent::connectToRemote()
{
    useSocket(m_tlsCapable || m_secureAtConnect);
    m_socket->abort();
    m_lowWaterMark.reset();
    m_peerClosed = false;
    m_pendingError.reset();
    m_handshaking = false;
    m_verificationFailure.clear();
    m_state = Connecting;
    if (m_remotePort < 0 || m_remotePort > 65535) {
        fail(10049, "Address is not available");
        return;
    }
    const QString host = QString::fromLatin1(m_remoteHost);
    const auto port = static_cast<quint16>(m_remotePort);
    if (m_secureAtConnect) {
        m_trust.prepare(*m_tls, m_peerVerifyName);
        m_tls->connectToHostEncrypted(host, port, QString::fromLatin1(m_peerVerifyName));
    } else {
        m_socket->connectToHost(host, port);
    }
}

void SocketComponent::startSecureSession()
{
    if (m_state != Connected) {
        return;
    }
    if (!m_tls) {
        fail(kSecureChannelError, "The connection was not opened for TLS");
        return;
    }
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        // The peer left before the handshake could start; its close is still on its way to us.
        fail(kSecureChannelError, "The remote host closed the connection");
        return;
    }
    m_handshaking = true;
    m_verificationFailure.clear();
    m_trust.prepare(*m_tls, m_peerVerifyName);
    m_tls->startClientEncryption();
}

bool SocketComponent::isSecure() const
{
    return m_state != Closed && !m_handshaking && m_tls && m_tls->isEncrypted();
}

QByteArray SocketComponent::secureSessionDescription() const
{
    if (!isSecure()) {
        return {};
    }
    const QSslCipher cipher = m_tls->sessionCipher();
    return (cipher.protocolString() + ' ' + cipher.name()).toLatin1();
}

void SocketComponent::onEncrypted()
{
    m_handshaking = false;
    if (m_state == Connecting) {
        m_state = Connected;
    }
    scheduleCheck();
}

bool SocketComponent::sendData(const QByteArray& bytes)
{
    if (m_state != Connected || m_socket->state() != QAbstractSocket::ConnectedState) {
        return false;
    }
    // A plain socket with nothing queued: straight to the kernel. Qt's write would switch its
    // write notifier on and flush() off again, each change waking the event loop, twice for
    // every command. What the kernel does not take (or a failure, which Qt then sees and
    // reports itself) goes Qt's way.
    qsizetype sent = 0;
    if (!m_tls && m_socket->bytesToWrite() == 0) {
        const ssize_t n = ::send(static_cast<int>(m_socket->socketDescriptor()), bytes.constData(),
                                 size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
        sent = n > 0 ? n : 0;
    }
    if (sent == bytes.size()) {
        return true;
    }
    const QByteArray rest = bytes.sliced(sent);
    if (m_socket->write(rest) != rest.size()) {
        return false;
    }
    m_socket->flush(); // push the command out now rather than at the next event-loop pass
    return true;
}

void SocketComponent::settle()
{
    // A close that has reached the kernel but not yet Qt: one pass of the event loop lets Qt
    // read up to it. Bounded, since a full read buffer keeps Qt from reading on.
    for (int pass = 0; pass < kSettlePasses && m_state == Connected && !m_peerClosed &&
                       kernelHasPeerClose(m_socket->socketDescriptor());
         ++pass) {
        QCoreApplication::processEvents();
    }
    // Each pass delivers data or raises the close or the error. A pass that changes nothing (the
    // data handler is busy further up the stack and cannot read) ends it.
    for (;;) {
        const int stateBefore = m_state;
        const qint64 waitingBefore = bytesReceived();
        if (m_state != Connected && m_state != Closing) {
            return;
        }
        if (waitingBefore <= 0 && !m_peerClosed && !m_pendingError) {
            return;
        }
        check();
        if (m_state == stateBefore && bytesReceived() >= waitingBefore) {
            return;
        }
    }
}

QByteArray SocketComponent::getData()
{
    return m_state == Closed ? QByteArray() : m_socket->readAll();
}

QByteArray SocketComponent::getData(qint64 maxLength)
{
    return m_state == Closed ? QByteArray() : m_socket->read(maxLength);
}

void SocketComponent::close()
{
    m_state = Closed;
    m_handshaking = false;
    m_peerClosed = false;
    m_pendingError.reset();
    m_lowWaterMark.reset();
    m_socket->abort();
}

void SocketComponent::onQtError()
{
    const QAbstractSocket::SocketError qtError = m_socket->error();
    if (m_handshaking && (m_state == Connecting || m_state == Connected)) {
        // A close or failure during the handshake means no secure channel, whatever the cause.
        m_handshaking = false;
        fail(kSecureChannelError, m_verificationFailure.isEmpty() ? m_socket->errorString().toUtf8()
                                                                  : m_verificationFailure);
        return;
    }
    if (qtError == QAbstractSocket::RemoteHostClosedError) {
        // The peer's close, orderly or by reset: delivered after the data, not as a failure.
        if (m_state == Connected) {
            m_peerClosed = true;
        }
        scheduleCheck();
        return;
    }
    if (m_state != Connecting && m_state != Connected) {
        return;
    }
    const auto* mapping = std::find_if(std::begin(kErrorTable), std::end(kErrorTable),
                                       [&](const ErrorMapping& m) { return m.qtError == qtError; });
    if (mapping != std::end(kErrorTable)) {
        fail(mapping->number, mapping->description);
    } else {
        fail(kGenericErrorNumber, kGenericErrorText);
    }
}

void SocketComponent::fail(qint16 number, const QByteArray& description)
{
    // Captured now: a later write() on the dead socket would overwrite Qt's error().
    m_pendingError = PendingError{number, description};
    scheduleCheck();
}

void SocketComponent::scheduleCheck(int delayMs)
{
    if (m_checkScheduled) {
        return;
    }
    m_checkScheduled = true;
    QTimer::singleShot(delayMs, this, [this] {
        m_checkScheduled = false;
        check();
    });
}

bool SocketComponent::deliverData()
{
    const qint64 waiting = m_socket->bytesAvailable();
    if (waiting <= 0) {
        return false;
    }
    // Only over TLS: Qt decrypts and notifies record by record (4 K from Dovecot), so a bulk
    // transfer would otherwise wake the reader for every segment the sender writes.
    if (m_tls && m_tls->isEncrypted()) {
        m_lowWaterMark.noteBatch(waiting);
    }
    const auto announced =
        static_cast<qint32>(std::min<qint64>(waiting, std::numeric_limits<qint32>::max()));
    emit dataArrival(announced);
    if (m_state == Closed) {
        return true;
    }
    const qint64 left = m_socket->bytesAvailable();
    if (left > 0) {
        scheduleCheck(left < waiting ? 0 : kRetryAfterNoProgressMs);
    } else if (m_peerClosed || m_pendingError) {
        scheduleCheck();
    }
    return true;
}

void SocketComponent::checkOnArrival()
{
    // Raised from Qt's own notice when no check of ours is running or due: a reply then takes
    // one pass of the event loop instead of two (and no wake-up of its own). A notice inside a
    // running handler that pumps is left to the queued check, as every other hint is.
    if (m_checking || m_checkScheduled) {
        scheduleCheck();
        return;
    }
    if (!m_tls) {
        check();
        return;
    }
    // Over TLS Qt gives one notice for each decrypted record (4 K from Dovecot): one check at the
    // end of the pump's pass takes all that the pass decrypted at once.
    // Work left for a pass runs before any later pass begins, so a pending one is this pass's.
    if (m_checkAtPassEnd && platform::currentPass() != 0) {
        return;
    }
    if (platform::runWhenPassEnds(this, [this] {
            m_checkAtPassEnd = false;
            check();
        })) {
        m_checkAtPassEnd = true;
        return;
    }
    scheduleCheck();
}

void SocketComponent::check()
{
    const QScopedValueRollback checking(m_checking, true);
    if (m_state == Closed || m_state == Error) {
        return;
    }
    if ((m_state == Connected || m_state == Closing) && deliverData()) {
        return;
    }
    if (m_pendingError) {
        const PendingError pending = *m_pendingError;
        m_pendingError.reset();
        m_state = Error;
        emit error(pending.number, pending.description);
        return;
    }
    if (m_peerClosed && m_state == Connected) {
        m_peerClosed = false;
        m_state = Closing;
        emit closed();
    }
}
