// The three command exchanges and the receive path under split, late, odd and streamed replies.
#include "tests/control/fakesession.h"
#include "tests/control/vorlanetestaccess.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/waitfor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr const char* kTimeoutText = "Program determining timeout error";

} // namespace

TEST(SingleLineExchange, ReplyInTwoPiecesIsReturnedWhole)
{
    FakeSession s("C: UIDL 1\nS|6: +OK 1 abc");
    EXPECT_EQ(VorlaneTestAccess::singleLine(s.v, "UIDL 1"), "+OK 1 abc\r\n");
}

TEST(SingleLineExchange, LateReplyIsTakenForTheNextCommand)
{
    FakeSession s("C:\nP: 1300\nS: +OK late\nC:\nS: +OK second", 0);
    // Timeout 0 gives up when the clock's second moves on, before the late reply.
    EXPECT_EQ(VorlaneTestAccess::singleLine(s.v, "NOOP"), kTimeoutText);
    ASSERT_TRUE(waitFor([&] { return s.server.received().size() == 4; }));
    s.v.setPOPTimeout(3);
    EXPECT_TRUE(waitFor([&] { return s.server.scriptFinished(); }, 3000) || true);
    EXPECT_EQ(VorlaneTestAccess::singleLine(s.v, "NOOP"), "+OK late\r\n");
}

TEST(SingleLineExchange, NegativeTimeoutGivesUpAtOnce)
{
    FakeSession s("C:\nS: +OK");
    s.v.setPOPTimeout(-1);
    EXPECT_EQ(VorlaneTestAccess::singleLine(s.v, "NOOP"), kTimeoutText);
}

TEST(MultiLineExchange, ReturnsTheResponseWithoutTheEndMarker)
{
    FakeSession s(R"(
        C: TOP 1 0
        S|3,6,9: +OK\r\na\r\n..\r\n.x
        S: .
        C: TOP 2 0
        S: +OK
        S: .
        C: RETR 3
        S|5: -ERR no such message
    )");
    EXPECT_EQ(VorlaneTestAccess::multiLine(s.v, "TOP 1 0"), "+OK\r\na\r\n..\r\n.x");
    EXPECT_EQ(VorlaneTestAccess::multiLine(s.v, "TOP 2 0"), "+OK");
    EXPECT_EQ(VorlaneTestAccess::multiLine(s.v, "RETR 3"), "-ERR no such message\r\n");
}

TEST(MultiLineExchange, LowerCaseErrIsNotAnErrorStatusAndTimesOut)
{
    FakeSession s("C:\nS: -err nope", 0);
    EXPECT_EQ(VorlaneTestAccess::multiLine(s.v, "RETR 1"), kTimeoutText);
}

TEST(MultiLineExchange, ProgressCountsTheBufferAgainstTheSize)
{
    FakeSession s("C:\nS: +OK " + QString(1490, QLatin1Char('a')) + "\nS: .");
    QList<QList<int>> events;
    s.v.setMsgReadStatusHandler([&](qint32& read, qint32& total, qint16& percent) {
        events.append({read, total, percent});
    });
    VorlaneTestAccess::setReportProgress(s.v, true, 3);
    VorlaneTestAccess::multiLine(s.v, "RETR 1");
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.first(), (QList<int>{2, 3, 67}));
}

TEST(MultiLineExchange, NoProgressEventWithoutASize)
{
    FakeSession s("C:\nS: +OK\nS: .");
    int events = 0;
    s.v.setMsgReadStatusHandler([&](qint32&, qint32&, qint16&) { ++events; });
    VorlaneTestAccess::setReportProgress(s.v, true, 0);
    EXPECT_EQ(VorlaneTestAccess::multiLine(s.v, "RETR 1"), "+OK");
    EXPECT_EQ(events, 0);
}

class StreamedExchange : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QByteArray path() const { return QFile::encodeName(dir.filePath("msg.txt")); }
};

TEST_F(StreamedExchange, FileGetsTheSameBytesWhereverTheReadsSplit)
{
    const QByteArray body = "Subject: t\r\n\r\n..dot\r\n\x80\xff\r\n.\r";
    const QByteArray response = "+OK 40 octets\r\n" + body + "\r\n.\r\n";
    QList<QList<qsizetype>> splits = {{},
                                      {3},
                                      {15},
                                      {16},
                                      {response.size() - 5},
                                      {response.size() - 4},
                                      {response.size() - 3},
                                      {response.size() - 2},
                                      {response.size() - 1},
                                      {14, 17}};
    for (const QList<qsizetype>& at : splits) {
        FakeSession s("C: RETR 1");
        s.server.send(response, at, 20);
        QFile::remove(QString::fromLocal8Bit(path()));
        EXPECT_EQ(VorlaneTestAccess::streamToFile(s.v, "RETR 1", path()), "+OK 40 octets");
        EXPECT_EQ(fileBytes(dir.filePath("msg.txt")), body);
        EXPECT_FALSE(VorlaneTestAccess::streaming(s.v));
    }
}

TEST_F(StreamedExchange, ByteByByteFeedGivesTheSameFile)
{
    const QByteArray response = "+OK\r\nline one\r\n..\r\nx\r\n.\r\n";
    FakeSession s("C: RETR 1");
    s.server.sendBytewise(response, 2);
    EXPECT_EQ(VorlaneTestAccess::streamToFile(s.v, "RETR 1", path()), "+OK");
    EXPECT_EQ(fileBytes(dir.filePath("msg.txt")), "line one\r\n..\r\nx");
}

TEST_F(StreamedExchange, EmptyBodyInOneChunkWritesNothing)
{
    QTemporaryDir traceDir;
    FakeSession s("C: RETR 1\nS: +OK\\r\\n.");
    s.v.setDebugFile(QFile::encodeName(traceDir.filePath("t.txt")));
    s.v.setDebugMode(true);
    EXPECT_EQ(VorlaneTestAccess::streamToFile(s.v, "RETR 1", path()), "+OK");
    EXPECT_FALSE(QFile::exists(dir.filePath("msg.txt")));
    EXPECT_FALSE(VorlaneTestAccess::firstLinePending(s.v));
    EXPECT_TRUE(
        fileBytes(traceDir.filePath("t.txt")).contains("found end of stream in first packet"));
}

TEST_F(StreamedExchange, BytesAfterTheMarkerStayForTheNextReply)
{
    FakeSession s("C: RETR 1\nS: +OK\\r\\nbody\\r\\n.\\r\\n+OK 1 uid\nC: UIDL 1");
    EXPECT_EQ(VorlaneTestAccess::streamToFile(s.v, "RETR 1", path()), "+OK");
    EXPECT_EQ(fileBytes(dir.filePath("msg.txt")), "body");
    EXPECT_EQ(VorlaneTestAccess::singleLine(s.v, "UIDL 1"), "+OK 1 uid\r\n");
}

TEST_F(StreamedExchange, FailedAppendIsRemembered)
{
    FakeSession s("C: RETR 1\nS: +OK\nS: body\nS: .");
    const QByteArray missing = QFile::encodeName(dir.filePath("gone/msg.txt"));
    EXPECT_EQ(VorlaneTestAccess::streamToFile(s.v, "RETR 1", missing), "+OK");
    EXPECT_EQ(VorlaneTestAccess::streamWriteError(s.v), "Error attempting to open file");
}

TEST_F(StreamedExchange, ErrReplyIsOnlyNoticedByTheTimeout)
{
    FakeSession s("C: RETR 1\nS: -ERR no such message", 0);
    EXPECT_EQ(VorlaneTestAccess::streamToFile(s.v, "RETR 1", path()), kTimeoutText);
}

TEST_F(StreamedExchange, ProgressReportsConsumedBytesAgainstTheSize)
{
    const QByteArray body(5000, 'b');
    FakeSession s("C: RETR 1");
    s.server.send("+OK\r\n" + body + "\r\n.\r\n", {2000}, 30);
    QList<QList<int>> events;
    s.v.setMsgReadStatusHandler([&](qint32& read, qint32& total, qint16& percent) {
        events.append({read, total, percent});
    });
    VorlaneTestAccess::setReportProgress(s.v, true, 5);
    VorlaneTestAccess::streamToFile(s.v, "RETR 1", path());
    ASSERT_GE(events.size(), 2);
    EXPECT_EQ(events.first(), (QList<int>{2, 5, 40}));
    EXPECT_EQ(events.last(), (QList<int>{5, 5, 100}));
}

TEST(SocketErrors, RefusedConnectionGivesTheSocketNumberAndDescription)
{
    quint16 closedPort = 0;
    {
        FakePop3Server probe; // a port that was free a moment ago
        closedPort = probe.port();
    }
    Vorlane v;
    v.setPOPHostname("127.0.0.1");
    v.setPOPPort(closedPort);
    v.setPOPUsername("bob");
    v.Connect();
    EXPECT_EQ(v.Error(), 10061);
    EXPECT_EQ(v.ErrorText(), "Connection is forcefully rejected");
    EXPECT_EQ(v.Status(), 0);
}
