// A TCP proxy between the control and a real POP3 server, run in the test's own event loop (the
// control pumps it while it waits). Commands pass to the server unchanged; the server's bytes
// reach the client re-cut into small separately written pieces, or the server's side of the
// conversation is broken on purpose: closed, stalled, replaced by garbage or a flood, or followed
// by stray bytes.
#pragma once

#include "tests/faults/replyframer.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <random>

class QTcpServer;
class QTcpSocket;
class QTimer;

class RechunkingProxy : public QObject {
    Q_OBJECT
public:
    enum class Cut {
        None,           // each read from the server is written on as it came
        Pieces1To7,     // pieces of 1 to 7 bytes, one per event-loop pass
        BeforeLast1To4, // each read split before its last 1 to 4 bytes, with a short pause
    };

    // What happens to the reply to the first command line that starts with `trigger` (an empty
    // trigger means the greeting). One fault per proxy; it acts once.
    struct Fault {
        enum class Kind {
            CloseAfter,       // pass `passBytes` of the reply, then close both connections
            StallAfter,       // pass `passBytes` of the reply, then nothing more from the server
            Replace,          // drop the reply; send `bytes`, then `floodBytes` of filler
            AppendAfterReply, // pass the reply and write `bytes` right behind it, in one write
        };
        Kind kind = Kind::StallAfter;
        QByteArray trigger;
        qint64 passBytes = 0;
        QByteArray bytes;
        qint64 floodBytes = 0; // filler without any line end, generated as the client reads
    };

    RechunkingProxy(const QString& serverAddress, quint16 serverPort, Cut cut = Cut::None,
                    quint32 seed = 1, QObject* parent = nullptr);
    ~RechunkingProxy() override;

    // Listens on 127.0.0.1; 0 when listening failed.
    quint16 port() const;
    void armFault(const Fault& fault)
    {
        m_fault = fault;
        m_faultState = FaultState::Armed;
    }
    bool faultTriggered() const
    {
        return m_faultState == FaultState::Active || m_faultState == FaultState::Done;
    }

    // The client's command lines in order, without line ends; a password shows as "PASS ****".
    QList<QByteArray> commands() const { return m_commands; }
    // True once a session was accepted and both of its connections are closed.
    bool sessionOver() const;

    // Wire timing, in milliseconds of a monotonic clock. A watch measures the longest stretch in
    // which neither side sent anything, from its start until it is read.
    void startSilenceWatch();
    qint64 longestSilenceMs() const;
    // The last moment the client was sent something (or accepted, if nothing was sent yet).
    qint64 lastWriteToClientMs() const { return m_lastWriteToClientMs; }
    static qint64 nowMs();
    // How many separate writes carried the server's bytes to the client.
    qint64 writesToClient() const { return m_writesToClient; }

private:
    enum class FaultState { None, Armed, Active, Done };
    struct Item {
        QByteArray bytes;
        qint64 flood = 0;
        bool close = false;
        qsizetype written = 0; // of `bytes`, when they go out in pieces
    };

    void onNewConnection();
    void onClientReadyRead();
    void onServerReadyRead();
    void onServerClosed();
    void onClientClosed();
    void takeCommandLine(const QByteArray& line);
    void startFault();
    void passServerBytes(QByteArray bytes);
    void passFaultReply(const QByteArray& bytes);
    void enqueue(Item item);
    void writeSome();
    QByteArray nextPiece(Item& item);
    void writeToClient(const QByteArray& bytes);
    void closeBoth();
    void noteWireEvent();

    QTcpServer* m_listener;
    QTcpSocket* m_client = nullptr;
    QTcpSocket* m_server = nullptr;
    QTimer* m_pacer;
    QString m_serverAddress;
    quint16 m_serverPort;
    Cut m_cut;
    std::mt19937 m_random;
    bool m_sessionAccepted = false;
    bool m_serverSilenced = false; // after a stall or close: the server's bytes are dropped
    bool m_writing = false;

    Fault m_fault;
    FaultState m_faultState = FaultState::None;
    ReplyFramer m_faultReply;
    qint64 m_faultPassed = 0;

    QByteArray m_clientInput;
    QList<QByteArray> m_commands;
    QList<Item> m_queue;

    qint64 m_lastWireEventMs = 0;
    qint64 m_longestSilenceMs = 0;
    qint64 m_lastWriteToClientMs = 0;
    qint64 m_writesToClient = 0;
};
