// The control's asynchronous TCP client socket, `wsk1`: states, members and events as a classic
// socket component shows them, realised over QSslSocket so that a session can run over TLS.
#pragma once

#include "control/receivelowwatermark.h"
#include "control/tlstrust.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <optional>

class QSslError;
class QSslSocket;
class QTcpSocket;

// Contract (all on the owning thread, events only while the event loop is pumped):
// - state(): 0 closed, 6 connecting, 7 connected, 8 closing (the peer has closed), 9 error.
// - dataArrival is raised while unread bytes wait, again after every handler that read some,
//   also for bytes that arrived while a handler was running.
// - A peer's orderly close (FIN or reset) is not an error: every received byte is delivered
//   first, then the state becomes 8 and closed() is raised.
// - Real failures (refused, host not found, broken network) make the state 9 and raise error()
//   with a number outside 0..31 (classic socket numbering, e.g. 10061 refused, 11001 host not
//   found) and its description.
// - TLS, when asked for: from the first byte (the state stays 6 until the handshake is done) or
//   on request on an open connection (startSecureSession(), the state stays 7; isSecure() turns
//   true when done). The server's chain is verified against the system's trust store plus any
//   extra CA certificates, and its name against the peer name given. A failed handshake or
//   verification is state 9 with error kSecureChannelError and the reason as description.
// - Over TLS a fast bulk transfer is announced in batches (see ReceiveLowWaterMark); bytes below
//   a batch wait at most a few milliseconds.
class SocketComponent : public QObject {
    Q_OBJECT
public:
    enum State : int { Closed = 0, Connecting = 6, Connected = 7, Closing = 8, Error = 9 };

    // A TLS handshake or certificate verification failed; the description gives the reason.
    static constexpr qint16 kSecureChannelError = 10500;

    explicit SocketComponent(QObject* parent = nullptr);
    ~SocketComponent() override;

    int state() const { return m_state; }
    QByteArray remoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QByteArray& host) { m_remoteHost = host; }
    qint32 remotePort() const { return m_remotePort; }
    void setRemotePort(qint32 port) { m_remotePort = port; }
    QByteArray remoteHostIP() const;
    qint64 bytesReceived() const;

    // Starts connecting to remoteHost:remotePort and returns at once.
    void connectToRemote();
    // Queues `bytes` for sending. False when the socket is not connected.
    bool sendData(const QByteArray& bytes);
    // Raises at once what the queued check would raise later: waiting data, then the peer's
    // close or a failure that Qt has already seen. Afterwards state() says what Qt knows, so a
    // caller about to send does not take a closed connection for an open one.
    void settle();
    // Reads all waiting bytes, or at most `maxLength` of them.
    QByteArray getData();
    QByteArray getData(qint64 maxLength);
    // Closes at once; the state becomes 0 and no further event is raised for this connection.
    void close();
    // A hint that at least `bytes` more are due before the peer waits for us (a message of
    // known size), so that batching ends with the reply rather than a moment after it.
    void expectBytes(std::optional<qint64> bytes) { m_lowWaterMark.expect(bytes); }

    // TLS settings for the next connectToRemote(). The peer name (a DNS name or an IP address)
    // is what the server's certificate must name. Extra CA certificates are trusted beside the
    // system's store; loading them fails with a readable reason.
    void setSecureAtConnect(bool secure) { m_secureAtConnect = secure; }
    // Whether the next connection may run over TLS at all (from the first byte or after STLS).
    // A plain connection then gets a plain socket, which loads no TLS library.
    void setTlsCapable(bool capable) { m_tlsCapable = capable; }
    void setPeerVerifyName(const QByteArray& name) { m_peerVerifyName = name; }
    bool loadExtraCaCertificates(const QByteArray& pemFile, QByteArray* reason)
    {
        return m_trust.loadExtraCaCertificates(pemFile, reason);
    }
    void clearExtraCaCertificates() { m_trust.clearExtraCaCertificates(); }
    // Starts the TLS handshake on the open connection (after a server agreed to STLS).
    void startSecureSession();
    bool isSecure() const;
    // "TLSv1.3 TLS_AES_256_GCM_SHA384" while secure, "" otherwise.
    QByteArray secureSessionDescription() const;

signals:
    void dataArrival(qint32 bytesTotal);
    void closed();
    void error(qint16 number, const QByteArray& description);

private:
    struct PendingError {
        qint16 number;
        QByteArray description;
    };

    void scheduleCheck(int delayMs = 0);
    void check();
    void checkOnArrival();
    bool deliverData();
    void onQtError();
    void onEncrypted();
    void onSslErrors(const QList<QSslError>& errors);
    void useSocket(bool tlsCapable);
    void fail(qint16 number, const QByteArray& description);

    QTcpSocket* m_socket = nullptr;
    QSslSocket* m_tls = nullptr; // the same socket when it can run TLS, else null
    int m_state = Closed;
    QByteArray m_remoteHost;
    qint32 m_remotePort = 0;
    bool m_checkScheduled = false;
    bool m_checkAtPassEnd = false; // a check waits for the end of the pump's pass
    bool m_checking = false;
    bool m_peerClosed = false;
    std::optional<PendingError> m_pendingError;
    bool m_secureAtConnect = false;
    bool m_tlsCapable = false;
    bool m_handshaking = false;
    QByteArray m_peerVerifyName;
    TlsTrust m_trust;
    QByteArray m_verificationFailure;
    ReceiveLowWaterMark m_lowWaterMark;
};
