// A randomized soak against a server whose answers are right in content and hostile in form:
// split anywhere, followed by junk that looks like success, or so late that the command has
// timed out. Whatever the mix, a success the control reports is the answer to its own command.
#include "control/vorlane.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <gtest/gtest.h>
#include <random>

namespace {

class ShiftyServer : public QObject {
public:
    struct Answer {
        QByteArray command;
        QByteArray reply;
        bool late;
    };

    explicit ShiftyServer(quint32 seed) : m_rng(seed)
    {
        m_server.listen(QHostAddress::LocalHost);
        m_clock.start();
        m_timer.setSingleShot(true);
        connect(&m_server, &QTcpServer::newConnection, this, &ShiftyServer::onConnection);
        connect(&m_timer, &QTimer::timeout, this, &ShiftyServer::sendDue);
    }
    quint16 port() const { return m_server.serverPort(); }
    const QList<Answer>& answers() const { return m_answers; }
    int lateCount() const { return m_lateCount; }

private:
    struct Piece {
        qint64 dueMs;
        QByteArray bytes;
    };

    void onConnection()
    {
        // One client at a time: a new connection replaces the old one and its pending replies.
        if (m_client) {
            m_client->abort();
            m_client->deleteLater();
        }
        m_client = m_server.nextPendingConnection();
        m_input.clear();
        m_outgoing.clear();
        connect(m_client, &QTcpSocket::readyRead, this, [this, client = m_client] {
            if (client == m_client) {
                onReadyRead();
            }
        });
        queue("+OK ready\r\n", 0);
    }

    void onReadyRead()
    {
        m_input += m_client->readAll();
        for (qsizetype end = m_input.indexOf("\r\n"); end >= 0; end = m_input.indexOf("\r\n")) {
            const QByteArray line = m_input.left(end);
            m_input.remove(0, end + 2);
            answer(line);
        }
    }

    QByteArray replyFor(const QByteArray& line)
    {
        const QByteArray k = QByteArray::number(++m_counter);
        const QByteArray argument = line.mid(5).split(' ').value(0);
        if (line.startsWith("UIDL")) {
            return "+OK " + argument + " id-" + k + "\r\n";
        }
        if (line.startsWith("TOP")) {
            return "+OK\r\nSubject: s-" + k + "\r\n\r\n.\r\n";
        }
        if (line.startsWith("LIST")) {
            return "+OK " + argument + ' ' + QByteArray::number(m_counter * 1024) + "\r\n";
        }
        if (line.startsWith("DELE")) {
            return (m_rng() % 2 ? "+OK marked " : "-ERR refused ") + k + "\r\n";
        }
        if (line.startsWith("STAT")) {
            return "+OK 5 5000\r\n";
        }
        return "+OK\r\n";
    }

    void answer(const QByteArray& line)
    {
        const QByteArray reply = replyFor(line);
        const bool login = line.startsWith("USER") || line.startsWith("PASS") ||
                           line.startsWith("STAT") || line.startsWith("QUIT");
        const unsigned form = login ? 0 : m_rng() % 12;
        m_answers.append({line, reply, form == 11});
        switch (form) {
        case 1:
        case 2:
        case 3: { // split at random points
            qsizetype at = 0;
            while (at < reply.size()) {
                const qsizetype length = 1 + qsizetype(m_rng() % 6);
                queue(reply.mid(at, length), int(m_rng() % 15));
                at += length;
            }
            break;
        }
        case 4:
        case 5:
        case 6: // junk that looks like success and a multi-line end, in the same write
            queue(reply + "+OK junk\r\n.\r\n", 0);
            break;
        case 11: // so late that the client, with timeout 1, has given up
            ++m_lateCount;
            queue(reply, 2300);
            break;
        default:
            queue(reply, 0);
        }
        if (line.startsWith("QUIT")) {
            m_client->disconnectFromHost();
        }
    }

    void queue(const QByteArray& bytes, int delayMs)
    {
        // Replies leave in order: a late one holds back everything after it, as on a real wire.
        const qint64 due = std::max(m_clock.elapsed() + delayMs,
                                    m_outgoing.isEmpty() ? 0 : m_outgoing.last().dueMs);
        m_outgoing.append({due, bytes});
        sendDue();
    }

    void sendDue()
    {
        while (!m_outgoing.isEmpty() && m_outgoing.first().dueMs <= m_clock.elapsed()) {
            if (m_client) {
                m_client->write(m_outgoing.takeFirst().bytes);
                m_client->flush();
            } else {
                m_outgoing.removeFirst();
            }
        }
        if (!m_outgoing.isEmpty()) {
            m_timer.start(int(std::max<qint64>(0, m_outgoing.first().dueMs - m_clock.elapsed())));
        }
    }

    QTcpServer m_server;
    QTcpSocket* m_client = nullptr;
    QByteArray m_input;
    std::mt19937 m_rng;
    int m_counter = 0;
    int m_lateCount = 0;
    QList<Answer> m_answers;
    QList<Piece> m_outgoing;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

// The newest answer to a command starting with `word` among those from `from` on.
const ShiftyServer::Answer* answerTo(const ShiftyServer& server, qsizetype from, const char* word)
{
    for (qsizetype i = server.answers().size() - 1; i >= from; --i) {
        if (server.answers()[i].command.startsWith(word)) {
            return &server.answers()[i];
        }
    }
    return nullptr;
}

// Checks one operation: a success must be the command's own, timely, positive answer.
void expectInStep(const Vorlane& v, const ShiftyServer::Answer* answer, const QByteArray& value,
                  const QByteArray& expected)
{
    if (!answer || v.Error() != 0) {
        return;
    }
    EXPECT_FALSE(answer->late) << answer->command.constData() << " took a late reply";
    EXPECT_TRUE(answer->reply.startsWith("+OK")) << answer->command.constData();
    EXPECT_EQ(value, expected) << answer->command.constData();
}

} // namespace

TEST(HostileSoak, SuccessesAreAlwaysTheirOwnCommandsAnswers)
{
    constexpr int kOperations = 50;
    constexpr qint64 kBudgetMs = 25000; // a bound on the run, not an assertion on speed
    const quint32 seed = qEnvironmentVariableIsSet("VORLANE_SOAK_SEED")
                             ? quint32(qEnvironmentVariableIntValue("VORLANE_SOAK_SEED"))
                             : 20261207u;
    SCOPED_TRACE("seed " + std::to_string(seed));
    ShiftyServer server(seed);
    std::mt19937 rng(seed + 1);
    Vorlane v;
    v.setPOPHostname("127.0.0.1");
    v.setPOPPort(server.port());
    v.setPOPUsername("bob");
    v.setPOPPassword("pw");
    QElapsedTimer clock;
    clock.start();
    int successes = 0;
    for (int i = 0; i < kOperations && clock.elapsed() < kBudgetMs; ++i) {
        if (v.Status() != 1) {
            v.setPOPTimeout(3);
            ASSERT_NO_THROW(v.Connect());
            ASSERT_EQ(v.Status(), 1) << v.ErrorText().constData();
        }
        // Long enough that only the late replies time out: junk behind a reply that comes after
        // the next command was sent (a timed-out one's) cannot be told from that command's reply.
        v.setPOPTimeout(1);
        const qsizetype before = server.answers().size();
        ASSERT_NO_THROW({
            switch (rng() % 4) {
            case 0: {
                qint16 number = qint16(1 + rng() % 5);
                v.SetCurrentMsg(number);
                const auto* a = answerTo(server, before, "UIDL");
                expectInStep(v, a, v.MsgUniqueID(),
                             a ? a->reply.mid(4).split(' ').value(1).chopped(2) : "");
                break;
            }
            case 1: {
                v.DeleteCurrentMsg();
                const auto* a = answerTo(server, before, "DELE");
                expectInStep(v, a, "", "");
                if (a && v.Error() == 26 && !v.ErrorText().contains("timeout")) {
                    EXPECT_TRUE(v.ErrorText().endsWith(a->reply)) << v.ErrorText().constData();
                }
                break;
            }
            case 2: {
                const qint32 size = v.MsgSizeInK();
                const auto* a = answerTo(server, before, "LIST");
                expectInStep(v, a, QByteArray::number(size),
                             a ? QByteArray::number(
                                     a->reply.split(' ').value(2).trimmed().toInt() / 1024 + 1)
                               : "");
                break;
            }
            default: {
                const QByteArray headers = v.MsgHeaders();
                const auto* a = answerTo(server, before, "TOP");
                expectInStep(v, a, headers, a ? a->reply.mid(5).chopped(5) : "");
            }
            }
        });
        successes += v.Error() == 0 && server.answers().size() > before;
    }
    // The mix must have exercised both sides: some late replies and some successes.
    EXPECT_GT(server.lateCount(), 0);
    EXPECT_GT(successes, 0);
    v.setPOPTimeout(3);
    ASSERT_NO_THROW(v.Disconnect());
}
