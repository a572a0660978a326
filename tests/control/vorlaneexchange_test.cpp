// The three command exchanges and the receive path under split, late, odd and streamed replies.
#include "platform/clock.h"
#include "platform/pump.h"
#include "tests/control/fakesession.h"
#include "tests/control/vorlanetestaccess.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/waitfor.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr const char* kTimeoutText = "Program determining timeout error";

} // namespace

TEST(SingleLineExchange, ReplyInTwoPiecesIsReturnedWhole)
{
    FakeSession s("C: UIDL 1\nS|6: +OK 1 abc");
    EXPECT_EQ(VorlaneTestAccess::singleLine(s.v, "UIDL 1"), "+OK 1 abc\r\n");
}

// The reply a timed-out command still owes is dropped when it comes, whether it comes before the
// next command is sent or while that command waits; the next command gets its own reply.
TEST(SingleLineExchange, LateReplyOfATimedOutCommandIsDiscarded)
{
    for (const bool sendNextAtOnce : {false, true}) {
        QTemporaryDir dir;
        const QString trace = dir.filePath("trace.txt");
        FakeSession s("C:\nP: 1300\nS|3: +OK late\nC:\nS: +OK second", 0);
        s.v.setDebugFile(QFile::encodeName(trace));
        s.v.setDebugMode(true);
        // Timeout 0 gives up when the clock's second moves on, before the late reply.
        EXPECT_EQ(VorlaneTestAccess::singleLine(s.v, "NOOP"), kTimeoutText);
        if (!sendNextAtOnce) {
            ASSERT_TRUE(waitFor([&] { return fileBytes(trace).contains("discarded late reply"); }));
        }
        s.v.setPOPTimeout(3);
        EXPECT_EQ(VorlaneTestAccess::singleLine(s.v, "NOOP"), "+OK second\r\n") << sendNextAtOnce;
        EXPECT_TRUE(s.server.scriptFinished());
        EXPECT_TRUE(fileBytes(trace).contains("discarded late reply:+OK late"));
    }
}

// Nothing after a reply's end is a reply: not in the same read, not in a later one. Junk that
// looks like success must not turn the refusal of the next command into one.
TEST(ExchangeInStep, BytesAfterAReplysEndAreDiscarded)
{
    enum Kind { Single, Multi, Streamed };
    const struct {
        const char* name;
        Kind kind;
        QString reply;
        QByteArray result;
    } cases[] = {
        {"single, same read", Single, "S: +OK 2 uid2\\r\\n+OK junk", "+OK 2 uid2\r\n"},
        {"single, own read", Single, "S: +OK 2 uid2\nS: +OK junk", "+OK 2 uid2\r\n"},
        {"error line, same read", Multi, "S: -ERR no\\r\\n+OK junk", "-ERR no\r\n"},
        {"multi, same read", Multi, "S: +OK\\r\\na\\r\\n.\\r\\n+OK junk", "+OK\r\na"},
        {"multi, empty body", Multi, "S: +OK\\r\\n.\\r\\n+OK junk\\r\\n", "+OK"},
        {"multi, own read", Multi, "S: +OK\\r\\na\\r\\n.\nS: +OK junk", "+OK\r\na"},
        {"streamed, same read", Streamed, "S: +OK\\r\\nbody\\r\\n.\\r\\n+OK junk", "+OK"},
        {"streamed, own read", Streamed, "S: +OK\\r\\nbody\\r\\n.\nS: +OK junk", "+OK"},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        const QString trace = dir.filePath("trace.txt");
        FakeSession s("C: CMD\n" + c.reply + "\nC: DELE 1\nS: -ERR refused");
        s.v.setDebugFile(QFile::encodeName(trace));
        s.v.setDebugMode(true);
        QByteArray result;
        switch (c.kind) {
        case Single:
            result = VorlaneTestAccess::singleLine(s.v, "CMD");
            break;
        case Multi:
            result = VorlaneTestAccess::multiLine(s.v, "CMD");
            break;
        case Streamed:
            result = VorlaneTestAccess::streamToFile(s.v, "CMD",
                                                     QFile::encodeName(dir.filePath("m.txt")));
            EXPECT_EQ(fileBytes(dir.filePath("m.txt")), "body") << c.name;
            break;
        }
        EXPECT_EQ(result, c.result) << c.name;
        // Junk of its own read must have come before the next command: after it, no client can
        // tell it from the reply.
        ASSERT_TRUE(waitFor([&] { return fileBytes(trace).contains("+OK junk"); }));
        EXPECT_EQ(VorlaneTestAccess::singleLine(s.v, "DELE 1"), "-ERR refused\r\n") << c.name;
        const QByteArray traced = fileBytes(trace);
        EXPECT_TRUE(traced.contains("discarded after reply:+OK junk") ||
                    traced.contains("discarded unsolicited:+OK junk"))
            << c.name << ": discarded untraced";
    }
}

// Every exchange gives up after more than POPTimeout whole seconds of silence, and not before:
// the bound is on silence, so a reply that keeps trickling in is awaited past it.
TEST(ExchangeTimeout, EachExchangeGivesUpOnlyAfterTheSilenceBound)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("m.txt"));
    const struct {
        const char* name;
        std::function<QByteArray(Vorlane&)> exchange;
    } cases[] = {
        {"single", [](Vorlane& v) { return VorlaneTestAccess::singleLine(v, "NOOP"); }},
        {"multi", [](Vorlane& v) { return VorlaneTestAccess::multiLine(v, "RETR 1"); }},
        {"streamed",
         [&](Vorlane& v) { return VorlaneTestAccess::streamToFile(v, "RETR 1", path); }},
    };
    constexpr qint16 kTimeout = 1;
    for (const auto& c : cases) {
        FakeSession silent("C:\nH:", kTimeout);
        const qint64 startedAt = platform::monotonicSeconds();
        EXPECT_EQ(c.exchange(silent.v), kTimeoutText) << c.name;
        const qint64 waited = platform::monotonicSeconds() - startedAt;
        EXPECT_GT(waited, kTimeout) << c.name;
        EXPECT_LE(waited, kTimeout + 2) << c.name;
    }
    // Pieces 700 ms apart: 2.1 s in all, each silence shorter than the bound.
    FakeSession trickling("C:", kTimeout);
    trickling.server.send("+OK\r\nx\r\n.\r\n", {3, 6, 9}, 700);
    EXPECT_EQ(VorlaneTestAccess::multiLine(trickling.v, "RETR 1"), "+OK\r\nx");
}

// Progress percentages round halves to the even neighbour, and the read count is capped by the
// total.
TEST(ExchangeProgress, PercentagesRoundHalvesToEven)
{
    const struct {
        qint32 sizeInK;
        int bodyBytes;
        QList<int> last; // the whole buffer: status line, body and marker
    } cases[] = {
        {8, 10, {1, 8, 12}},   // 12.5 -> 12
        {8, 2100, {3, 8, 38}}, // 37.5 -> 38
        {16, 7 * 1024 + 100, {8, 16, 50}},
        {40, 100, {1, 40, 2}},           // 2.5 -> 2
        {8, 4 * 1024 + 100, {5, 8, 62}}, // 62.5 -> 62
        {8, 6 * 1024 + 100, {7, 8, 88}}, // 87.5 -> 88
        {3, 10 * 1024, {3, 3, 100}},     // more than the total: capped
    };
    for (const auto& c : cases) {
        FakeSession s("C: RETR 1");
        s.server.send("+OK\r\n" + QByteArray(c.bodyBytes, 'b') + "\r\n.\r\n");
        QList<QList<int>> events;
        s.v.setMsgReadStatusHandler([&](qint32& read, qint32& total, qint16& percent) {
            events.append({read, total, percent});
        });
        VorlaneTestAccess::setReportProgress(s.v, true, c.sizeInK);
        VorlaneTestAccess::multiLine(s.v, "RETR 1");
        ASSERT_FALSE(events.isEmpty()) << c.sizeInK;
        EXPECT_EQ(events.last(), c.last) << c.sizeInK << " K, " << c.bodyBytes << " bytes";
    }
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
        C: TOP 4 0
        S: \x01+OK\r\na
        S: .
    )");
    EXPECT_EQ(VorlaneTestAccess::multiLine(s.v, "TOP 1 0"), "+OK\r\na\r\n..\r\n.x");
    EXPECT_EQ(VorlaneTestAccess::multiLine(s.v, "TOP 2 0"), "+OK");
    EXPECT_EQ(VorlaneTestAccess::multiLine(s.v, "RETR 3"), "-ERR no such message\r\n");
    // A control byte first is no reason to wait for the timeout: the reply ends at its marker.
    EXPECT_EQ(VorlaneTestAccess::multiLine(s.v, "TOP 4 0"), "\x01+OK\r\na");
}

// The wait traces its start, the command and its end; what arrives is traced by the receive path,
// and no pass of the wait adds an entry of its own.
TEST(MultiLineExchange, TraceHoldsTheExchangesStepsAndNoEntryPerPass)
{
    QTemporaryDir dir;
    const QString trace = dir.filePath("trace.txt");
    FakeSession s("C: TOP 1 0\nP: 300\nS|5,9: +OK\\r\\na\\r\\n.");
    s.v.setDebugFile(QFile::encodeName(trace));
    s.v.setDebugMode(true);
    EXPECT_EQ(VorlaneTestAccess::multiLine(s.v, "TOP 1 0"), "+OK\r\na");
    QList<QByteArray> steps;
    // Each entry is the socket's state line, the text, and a "+" line.
    const QByteArray traced = fileBytes(trace);
    for (qsizetype at = 0, end = 0; (end = traced.indexOf("\r\n+\r\n", at)) >= 0; at = end + 5) {
        const QByteArray entry = traced.sliced(at, end - at);
        const QByteArray step = entry.sliced(entry.indexOf("   \r\n") + 5);
        if (!step.contains("wsk1_dataarrival") && !step.startsWith("GetData:")) {
            steps.append(step);
        }
    }
    EXPECT_EQ(steps,
              (QList<QByteArray>{"start funSendDataForMultiLineResponse", "Sending command:TOP 1 0",
                                 "in subflushdata", "end funSendDataForMultiLineResponse"}));
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

TEST_F(StreamedExchange, FailedAppendIsRemembered)
{
    FakeSession s("C: RETR 1\nS: +OK\nS: body\nS: .");
    const QByteArray missing = QFile::encodeName(dir.filePath("gone/msg.txt"));
    EXPECT_EQ(VorlaneTestAccess::streamToFile(s.v, "RETR 1", missing), "+OK");
    EXPECT_EQ(VorlaneTestAccess::streamWriteError(s.v), "Error attempting to open file");
}

TEST_F(StreamedExchange, ErrReplyEndsTheExchangeAtOnce)
{
    FakeSession s("C: RETR 1\nS: -ERR no such message\nH:", 10);
    EXPECT_EQ(VorlaneTestAccess::streamToFile(s.v, "RETR 1", path()), "-ERR no such message");
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

// The pump's wake-up timer bounds a wait's sleep; between waits it must not wake an idle host.
TEST(ExchangeWaits, WakeUpTimerRunsOnlyWhileAWaitRuns)
{
    FakeSession s("C: NOOP\nP: 200\nS: +OK");
    auto activeTimers = [] {
        int active = 0;
        for (const QTimer* timer : QCoreApplication::instance()->findChildren<QTimer*>()) {
            active += timer->isActive();
        }
        return active;
    };
    int activeDuringWait = 0;
    QTimer probe; // not the application's child, so not counted
    QObject::connect(&probe, &QTimer::timeout, [&] { activeDuringWait = activeTimers(); });
    probe.start(50);
    EXPECT_EQ(VorlaneTestAccess::singleLine(s.v, "NOOP"), "+OK\r\n");
    probe.stop();
    EXPECT_GT(activeDuringWait, 0);
    EXPECT_EQ(activeTimers(), 0);
}

// Work left for the end of a pass runs once, after the pass's events, never when it is left and
// never with its context gone; a nested wait runs it first, and a modal loop inside a pass has
// no pass of its own to leave work to.
TEST(ExchangeWaits, WorkLeftForThePassEndRunsOnceWhenThePassEnds)
{
    QStringList log;
    auto note = [&log](const QString& what) { return [&log, what] { log << what; }; };
    QObject context;

    EXPECT_EQ(platform::currentPass(), 0u);
    EXPECT_FALSE(platform::runWhenPassEnds(&context, note("outside")));

    quint64 firstPass = 0;
    QTimer::singleShot(0, &context, [&] {
        firstPass = platform::currentPass();
        EXPECT_TRUE(platform::runWhenPassEnds(&context, note("end of first")));
        auto gone = std::make_unique<QObject>();
        EXPECT_TRUE(platform::runWhenPassEnds(gone.get(), note("context gone")));
        gone.reset();
        log << "handler";
    });
    platform::pumpEvents();
    EXPECT_NE(firstPass, 0u);
    EXPECT_EQ(log.join(", ").toStdString(), "handler, end of first");

    log.clear();
    quint64 outerPass = 0;
    quint64 innerPass = 0;
    QTimer::singleShot(0, &context, [&] {
        outerPass = platform::currentPass();
        platform::runWhenPassEnds(&context, note("end of outer"));
        QTimer::singleShot(0, &context, [&] {
            innerPass = platform::currentPass();
            log << "inner event";
        });
        platform::pumpEvents();
        log << "outer handler";
    });
    platform::pumpEvents();
    EXPECT_NE(innerPass, outerPass);
    EXPECT_GT(outerPass, firstPass);
    EXPECT_EQ(log.join(", ").toStdString(), "end of outer, inner event, outer handler");

    bool leftInModalLoop = true;
    quint64 passInModalLoop = 1;
    QTimer::singleShot(0, &context, [&] {
        QEventLoop modal;
        QTimer::singleShot(0, &modal, [&] {
            passInModalLoop = platform::currentPass();
            leftInModalLoop = platform::runWhenPassEnds(&context, note("modal"));
            modal.quit();
        });
        modal.exec();
    });
    platform::pumpEvents();
    EXPECT_EQ(passInModalLoop, 0u);
    EXPECT_FALSE(leftInModalLoop);
    EXPECT_EQ(platform::currentPass(), 0u);
}
