// A scripted fake POP3 server for byte-level cases a real server cannot produce: replies split
// at chosen offsets, pauses, stalls, closes and odd answers. It runs in the test's own event
// loop, which the control pumps while it waits.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

// A login the server accepts, as script rows up to the STAT command: the greeting "+OK ready",
// USER and PASS answered "+OK". A script goes on with STAT's reply ("S: +OK 2 320").
inline const QString kFakeLoginUntilStat =
    QStringLiteral("S: +OK ready\nC: USER\nS: +OK\nC: PASS\nS: +OK\nC: STAT\n");

// A script is a list of lines, run in order for the first client that connects:
//   S: text          send text + CR LF
//   S|3,7: text      the same, written in pieces split at byte offsets 3 and 7, with a short
//                    pause after each piece (so the client sees separate reads)
//   C: text          wait for one line from the client (checked later through received())
//   P: 250           pause 250 ms
//   X:               close the connection
//   H:               hold: do nothing further (a stalled server)
// Escapes in text: \r \n \\ and \xHH. Binary payloads can be added with sendRaw().
class FakePop3Server : public QObject {
    Q_OBJECT
public:
    explicit FakePop3Server(QObject* parent = nullptr);
    // Listens on a given address and port (0: any free port).
    FakePop3Server(const QString& address, quint16 port, QObject* parent = nullptr);
    bool isListening() const;
    ~FakePop3Server() override;

    quint16 port() const;

    FakePop3Server& script(const QString& lines);
    FakePop3Server& send(const QByteArray& bytes, const QList<qsizetype>& splits = {},
                         int pauseMs = 5);
    FakePop3Server& sendBytewise(const QByteArray& bytes, int pauseMs = 1);
    FakePop3Server& expectLine();
    FakePop3Server& pause(int ms);
    FakePop3Server& closeConnection();
    FakePop3Server& hold();
    // Drops the client's connection now, whatever the script says.
    void dropClient();

    // The lines the client sent, without their CR LF.
    QList<QByteArray> received() const { return m_received; }
    bool scriptFinished() const;
    bool clientConnected() const { return m_client != nullptr; }
    int connectionCount() const { return m_connectionCount; }

    static QByteArray unescape(const QString& text);

private:
    struct Step {
        enum Kind { Send, Expect, Pause, Close, Hold } kind;
        QByteArray bytes;
        int ms = 0;
    };

    void onNewConnection();
    void onReadyRead();
    void runSteps();
    void takeLines();
    void addScriptLine(const QString& line);

    QTcpServer* m_server;
    QTcpSocket* m_client = nullptr;
    QList<Step> m_steps;
    qsizetype m_next = 0;
    bool m_waiting = false;
    QByteArray m_input;
    QList<QByteArray> m_pendingLines;
    QList<QByteArray> m_received;
    int m_connectionCount = 0;
};
