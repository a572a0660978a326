// Connect and Disconnect against the scripted fake server: the login dialogue, its failures,
// and what reaches the wire.
#include "tests/control/vorlanetestaccess.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/filebytes.h"
#include "tests/support/waitfor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString kLogin = kFakeLoginUntilStat + "S: +OK 2 320\n";

void pointAt(Vorlane& v, const FakePop3Server& server, qint16 timeout = 5)
{
    v.setPOPHostname("127.0.0.1");
    v.setPOPPort(server.port());
    v.setPOPUsername("bob");
    v.setPOPPassword("secret");
    v.setPOPTimeout(timeout);
}

} // namespace

TEST(VorlaneSession, ConnectLogsInAndReadsTheStatistics)
{
    FakePop3Server server;
    server.script(kLogin + "C: QUIT\nS: +OK bye\nX:");
    Vorlane v;
    pointAt(v, server);
    v.Connect();
    EXPECT_EQ(v.Error(), 0) << v.ErrorText().constData();
    EXPECT_EQ(v.Status(), 1);
    EXPECT_EQ(v.StatusText(), "Connected");
    EXPECT_EQ(v.ConnectResponse(), "+OK ready");
    EXPECT_EQ(v.MsgCount(), 2);
    EXPECT_EQ(VorlaneTestAccess::sizeInBytes(v), 320);
    v.Disconnect();
    EXPECT_EQ(v.Error(), 0);
    EXPECT_EQ(v.Status(), 0);
    EXPECT_EQ(v.MsgCount(), 0);
    EXPECT_EQ(v.ConnectResponse(), "");
    EXPECT_EQ(server.received(), (QList<QByteArray>{"USER bob", "PASS secret", "STAT", "QUIT"}));
}

TEST(VorlaneSession, GreetingAndRepliesInPiecesAreJoined)
{
    FakePop3Server server;
    server.script(R"(
        S|1,3,9: +OK greeting in pieces
        C: USER
        S|2: +OK
        C: PASS
        S|1,2: +OK
        C: STAT
        S|4,5: +OK 7 9000
    )");
    Vorlane v;
    pointAt(v, server);
    v.Connect();
    EXPECT_EQ(v.ConnectResponse(), "+OK greeting in pieces");
    EXPECT_EQ(v.MsgCount(), 7);
}

TEST(VorlaneSession, StatWithoutSizeGivesTheCountAndSizeZero)
{
    FakePop3Server server;
    server.script(kFakeLoginUntilStat + "S: +OK 3");
    Vorlane v;
    pointAt(v, server);
    v.Connect();
    EXPECT_EQ(v.Status(), 1);
    EXPECT_EQ(v.MsgCount(), 3);
    EXPECT_EQ(VorlaneTestAccess::sizeInBytes(v), 0);
}

TEST(VorlaneSession, RefusedCommandsCloseWithTheirCodeAndReply)
{
    struct Case {
        QString script;
        qint16 code;
        QByteArray text;
        int linesSent;
    };
    const QList<Case> cases = {
        {"S: +OK\nC:\nS: -ERR no such user", 14,
         "Error received from USER command: -ERR no such user\r\n", 1},
        {"S: +OK\nC:\nS: +OK\nC:\nS: -ERR bad pass", 15,
         "Error received from PASS command: -ERR bad pass\r\n", 2},
        {"S: +OK\nC:\nS: +OK\nC:\nS: +OK\nC:\nS: -ERR locked", 18,
         "Error received from STAT command: -ERR locked\r\n", 3},
    };
    for (const Case& c : cases) {
        FakePop3Server server;
        server.script(c.script);
        Vorlane v;
        pointAt(v, server);
        v.Connect();
        EXPECT_EQ(v.Error(), c.code);
        EXPECT_EQ(v.ErrorText(), c.text);
        EXPECT_EQ(v.Status(), 0);
        EXPECT_EQ(v.ConnectResponse(), "");
        EXPECT_TRUE(waitFor([&] { return server.received().size() == c.linesSent; }));
    }
}

TEST(VorlaneSession, SilentServerGivesUpAfterTheTimeout)
{
    FakePop3Server server;
    server.hold();
    Vorlane v;
    pointAt(v, server, 1);
    QElapsedTimer timer;
    timer.start();
    v.Connect();
    EXPECT_EQ(v.Error(), 11);
    EXPECT_EQ(v.ErrorText(),
              "Connection was accepted but no data received before timeout. Connection closed");
    EXPECT_EQ(v.Status(), 0);
    // More than one whole second of silence, less than two.
    EXPECT_GE(timer.elapsed(), 1000);
    EXPECT_LT(timer.elapsed(), 2500);
}

TEST(VorlaneSession, BlankSettingsAreRefusedBeforeConnecting)
{
    FakePop3Server server;
    Vorlane v;
    pointAt(v, server);
    v.setPOPHostname(" ");
    v.setPOPUsername("");
    v.Connect();
    EXPECT_EQ(v.Error(), 16);
    EXPECT_EQ(v.ErrorText(), "Hostname cannot be blank");
    v.setPOPHostname("127.0.0.1");
    v.Connect();
    EXPECT_EQ(v.Error(), 17);
    EXPECT_EQ(v.ErrorText(), "Username cannot be blank");
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST(VorlaneSession, EmptyPasswordIsSentAsOneSpace)
{
    FakePop3Server server;
    server.script(kLogin);
    Vorlane v;
    pointAt(v, server);
    v.setPOPPassword("");
    v.Connect();
    EXPECT_EQ(v.Status(), 1);
    EXPECT_EQ(server.received().value(1), "PASS  ");
    EXPECT_EQ(v.POPPassword(), " ");
}

TEST(VorlaneSession, LineBreaksInCredentialsAreNeverSent)
{
    for (const QByteArray& field : {QByteArray("user"), QByteArray("pass")}) {
        FakePop3Server server;
        server.script(kLogin);
        Vorlane v;
        pointAt(v, server);
        if (field == "user") {
            v.setPOPUsername("bob\r\nDELE 1");
        } else {
            v.setPOPPassword("x\nDELE 1");
        }
        v.Connect();
        EXPECT_EQ(v.Error(), field == "user" ? 14 : 15);
        EXPECT_TRUE(v.ErrorText().endsWith("Line breaks are not allowed"));
        EXPECT_EQ(v.Status(), 0);
        for (const QByteArray& line : server.received()) {
            EXPECT_FALSE(line.contains("DELE"));
        }
    }
}

TEST(VorlaneSession, ConnectWhileConnectedCloses)
{
    FakePop3Server server;
    server.script(kLogin);
    Vorlane v;
    pointAt(v, server);
    v.Connect();
    ASSERT_EQ(v.Status(), 1);
    v.Connect();
    EXPECT_EQ(v.Error(), 13);
    EXPECT_EQ(v.ErrorText(), "Already connected");
    EXPECT_EQ(v.Status(), 0);
}

TEST(VorlaneSession, ServerClosingTheConnectionResetsTheSession)
{
    FakePop3Server server;
    server.script(kLogin + "P: 50\nX:");
    Vorlane v;
    pointAt(v, server);
    v.Connect();
    ASSERT_EQ(v.Status(), 1);
    ASSERT_TRUE(waitFor([&] { return v.Status() == 0; }));
    EXPECT_EQ(v.Error(), 0);
    EXPECT_EQ(v.MsgCount(), 0);
    v.Disconnect(); // nothing to send any more
    EXPECT_EQ(v.Error(), 0);
}

TEST(VorlaneSession, DisconnectWhenNotConnectedSendsNothing)
{
    Vorlane v;
    v.Disconnect();
    EXPECT_EQ(v.Error(), 0);
    EXPECT_EQ(v.Status(), 0);
}

TEST(VorlaneSession, TraceNamesTheStepsButNeverThePassword)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.txt");
    FakePop3Server server;
    server.script(kLogin + "C: QUIT\nS: +OK\nX:");
    Vorlane v;
    pointAt(v, server);
    v.setDebugFile(QFile::encodeName(path));
    v.setDebugMode(true);
    v.Connect();
    v.Disconnect();
    const QByteArray trace = fileBytes(path);
    EXPECT_FALSE(trace.contains("secret"));
    EXPECT_TRUE(trace.contains("\r\nSending command:PASS ****\r\n"));
    EXPECT_TRUE(trace.contains("\r\nSending command:USER bob\r\n"));
    EXPECT_TRUE(trace.contains("\r\nconnectreponse=+OK ready\r\n"));
    EXPECT_TRUE(trace.contains("\r\nstart connect\r\n"));
    EXPECT_TRUE(trace.contains("\r\nend disconnect\r\n"));
    EXPECT_TRUE(trace.contains("State:7 RemHost:127.0.0.1 RemIP:127.0.0.1 RemPort:" +
                               QByteArray::number(server.port()) + "   \r\n"));
    EXPECT_EQ(trace.count("Vorlane version:"), 1);
}
