// Selection, retrieval, file capture, deletion marks and header access against the fake server.
#include "tests/control/fakesession.h"
#include "tests/control/vorlanetestaccess.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/waitfor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(Selection, UidlGivesTheIdAndZeroReselects)
{
    FakeSession m("C:\nS: +OK 3 abc-123\nC:\nS: +OK 3 abc-123");
    m.select(3);
    EXPECT_EQ(m.v.Error(), 0);
    EXPECT_EQ(m.v.MsgNumber(), 3);
    EXPECT_EQ(m.v.MsgUniqueID(), "abc-123");
    qint16 again = 0;
    m.v.SetCurrentMsg(again);
    EXPECT_EQ(again, 3);
    EXPECT_EQ(m.sent(), (QList<QByteArray>{"UIDL 3", "UIDL 3"}));
}

TEST(Selection, OutOfRangeNumbersCloseTheSession)
{
    for (qint16 number : {qint16(0), qint16(-1), qint16(10)}) {
        FakeSession m("");
        m.select(number);
        EXPECT_EQ(m.v.Error(), 20);
        EXPECT_EQ(m.v.Status(), 0);
        EXPECT_EQ(m.v.MsgNumber(), 0);
        EXPECT_TRUE(m.sent().isEmpty());
    }
}

TEST(Selection, NoSuchMessageInAnyCaseKeepsTheSelectionWithMarkers)
{
    FakeSession m("C:\nS: -ERR No Such message\nC: TOP 7 0\nS: -ERR no such msg\nC: TOP 7\n"
                  "S: -ERR NO SUCH MESSAGE");
    m.select(7);
    EXPECT_EQ(m.v.Error(), 0);
    EXPECT_EQ(m.v.Status(), 1);
    EXPECT_EQ(m.v.MsgHeaders(), "Unable to retrieve");
    EXPECT_EQ(m.v.MsgContents(), "Unable to retrieve");
    EXPECT_EQ(m.v.MsgUniqueID(), "bob:127.0.0.1:7");
    m.v.RetrieveCurrentMsg(); // does nothing for an absent message
    EXPECT_EQ(m.v.Error(), 0);
    EXPECT_EQ(m.sent(), (QList<QByteArray>{"UIDL 7", "TOP 7 0", "TOP 7"}));
}

TEST(Selection, OtherUidlErrorsCloseWithCode21)
{
    FakeSession m("C:\nS: -ERR mailbox locked");
    m.select(1);
    EXPECT_EQ(m.v.Error(), 21);
    EXPECT_EQ(m.v.ErrorText(), "Error using the UIDL command: -ERR mailbox locked\r\n");
    EXPECT_EQ(m.v.Status(), 0);
}

TEST(Selection, BareOkRepliesGiveAnEmptyIdAndSizeZero)
{
    FakeSession m("C:\nS: +OK\nC:\nS: +OK");
    m.select(1);
    EXPECT_EQ(m.v.MsgUniqueID(), "");
    EXPECT_EQ(m.v.MsgSizeInK(), 1);
    EXPECT_EQ(m.v.Error(), 0);
}

TEST(Selection, SizeInKIsFetchedOncePerSelection)
{
    const QList<QPair<int, int>> sizes = {{0, 1}, {1023, 1}, {1024, 2}, {65535, 64}, {65536, 65}};
    QString script;
    for (const auto& [octets, k] : sizes) {
        script += QStringLiteral("C:\nS: +OK 1 u\nC:\nS: +OK 1 %1\n").arg(octets);
    }
    FakeSession m(script);
    for (const auto& [octets, k] : sizes) {
        m.select(1);
        EXPECT_EQ(m.v.MsgSizeInK(), k) << octets;
        EXPECT_EQ(m.v.MsgSizeInK(), k) << octets;
    }
    EXPECT_EQ(m.sent().count("LIST 1"), sizes.size());
}

TEST(Selection, RefusedListGives30AndKeepsTheSession)
{
    FakeSession m("C:\nS: +OK 1 u\nC:\nS: -ERR no list");
    m.select(1);
    EXPECT_EQ(m.v.MsgSizeInK(), 0);
    EXPECT_EQ(m.v.Error(), 30);
    EXPECT_EQ(m.v.Status(), 1);
    EXPECT_EQ(m.v.MsgSizeInK(), 0); // not asked again
    EXPECT_EQ(m.sent().count("LIST 1"), 1);
}

TEST(Selection, LazyReadersSendNothingWhileDisconnected)
{
    Vorlane v;
    EXPECT_EQ(v.MsgSizeInK(), 0);
    EXPECT_EQ(v.MsgHeaders(), "");
    EXPECT_EQ(v.MsgSubject(), "");
    EXPECT_EQ(v.Error(), 0);
    QTemporaryDir dir;
    QFile old(dir.filePath("old.txt"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    QByteArray path = QFile::encodeName(dir.filePath("old.txt"));
    v.WriteCurrentMsgToFile(path);
    EXPECT_EQ(v.Error(), 23);
    EXPECT_FALSE(QFile::exists(dir.filePath("old.txt"))); // replaced even though nothing came
}

TEST(Headers, TopWithZeroRefusedIsRetriedWithoutIt)
{
    FakeSession m(R"(
        C:
        S: +OK 1 u
        C: TOP 1 0
        S: -ERR syntax
        C: TOP 1
        S: +OK
        S: Subject: hi there
        S: From: <a@b>
        S:
        S: .
    )");
    m.select(1);
    EXPECT_EQ(m.v.MsgHeaders(), "Subject: hi there\r\nFrom: <a@b>\r\n");
    EXPECT_EQ(m.v.MsgSubject(), "hi there");
    EXPECT_EQ(m.v.MsgFrom(), "<a@b>");
    EXPECT_EQ(m.v.MsgReplyTo(), "");
    EXPECT_EQ(m.v.GetOtherHeader("reply-to"), "<not found>");
    EXPECT_EQ(m.sent(), (QList<QByteArray>{"UIDL 1", "TOP 1 0", "TOP 1"}));
}

TEST(Headers, PropertiesByName)
{
    FakeSession m("C:\nS: +OK 2 u\nC:\nS: +OK 2 2048");
    m.select(2);
    EXPECT_EQ(m.v.GetStringValueOfProperty(" msgcount "), "9");
    EXPECT_EQ(m.v.GetStringValueOfProperty("debugmode"), "False");
    EXPECT_EQ(m.v.GetStringValueOfProperty("Version"), "");
    EXPECT_EQ(m.v.GetStringValueOfProperty("POPPort"), QByteArray::number(m.server.port()));
    EXPECT_EQ(m.v.GetStringValueOfProperty("msgsizeink"), "3");
    EXPECT_EQ(m.v.GetStringValueOfProperty("statustext"), "Connected");
    VorlaneTestAccess::setError(m.v, 26, "-ERR x");
    EXPECT_EQ(m.v.GetStringValueOfProperty("Error"), "26");
    EXPECT_EQ(m.v.Error(), 0);
}

TEST(Retrieval, HeadersAndBodyAreSplitAtTheBlankLine)
{
    FakeSession m(R"(
        C:
        S: +OK 1 u
        C: LIST 1
        S: +OK 1 40
        C: RETR 1
        S: +OK
        S: Subject: s
        S:
        S: B
        S: .
    )");
    m.select(1);
    m.v.RetrieveCurrentMsg();
    EXPECT_EQ(m.v.Error(), 0);
    EXPECT_EQ(m.v.MsgContents(), "B");
    EXPECT_EQ(m.v.MsgHeaders(), "Subject: s\r\n"); // taken from RETR, no TOP sent
    ASSERT_FALSE(m.events.isEmpty());
    EXPECT_EQ(m.events.last(), (QList<int>{1, 1, 100}));
    EXPECT_EQ(m.sent().count("TOP 1 0"), 0);
}

TEST(Retrieval, MessageWithoutBlankLineIsAllContents)
{
    FakeSession m("C:\nS: +OK 1 u\nC:\nS: +OK 1 20\nC:\nS: +OK\nS: A: 1\nS: B: 2\nS: .");
    m.select(1);
    m.v.RetrieveCurrentMsg();
    EXPECT_EQ(m.v.MsgContents(), "A: 1\r\nB: 2");
}

TEST(Retrieval, OverSixtyFourKIsRefusedWithoutRetr)
{
    FakeSession m("C:\nS: +OK 1 u\nC:\nS: +OK 1 65536");
    m.select(1);
    m.v.RetrieveCurrentMsg();
    EXPECT_EQ(m.v.Error(), 0);
    EXPECT_EQ(m.v.Status(), 1);
    EXPECT_TRUE(m.v.MsgContents().startsWith("This message is too large (>64K)"));
    EXPECT_TRUE(m.events.isEmpty());
}

TEST(Retrieval, RetrErrorGives25AndStillTheFinalEvent)
{
    FakeSession m("C:\nS: +OK 1 u\nC:\nS: +OK 1 100\nC:\nS: -ERR gone");
    m.select(1);
    m.v.RetrieveCurrentMsg();
    EXPECT_EQ(m.v.Error(), 25);
    EXPECT_EQ(m.v.ErrorText(), "Error retrieving the message: -ERR gone\r\n");
    EXPECT_EQ(m.v.Status(), 0);
    ASSERT_FALSE(m.events.isEmpty());
    EXPECT_EQ(m.events.last(), (QList<int>{1, 1, 100}));
}

// The dialogue of selecting message 1 before a file capture: UIDL and the header fetch.
constexpr const char* kSelectedScript = R"(
        C: UIDL 1
        S: +OK 1 u
        C: TOP 1 0
        S: +OK
        S: Subject: s
        S:
        S: .
    )";

class FileCapture : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QByteArray path(const char* name = "msg.txt") const
    {
        return QFile::encodeName(dir.filePath(QString::fromLatin1(name)));
    }
    static constexpr const char* kSelected = kSelectedScript;
};

TEST_F(FileCapture, StreamsTheMessageAndNotesTheFile)
{
    FakeSession m(QString::fromLatin1(kSelected) + "C: LIST 1\nS: +OK 1 3000\nC: RETR 1");
    m.server.send("+OK\r\nSubject: s\r\n\r\n" + QByteArray(3000, 'z') + "\r\n.\r\n", {1000}, 30);
    m.select(1);
    QByteArray p = path();
    m.v.WriteCurrentMsgToFile(p);
    EXPECT_EQ(m.v.Error(), 0) << m.v.ErrorText().constData();
    EXPECT_EQ(fileBytes(dir.filePath("msg.txt")), "Subject: s\r\n\r\n" + QByteArray(3000, 'z'));
    EXPECT_EQ(m.v.MsgContents(), "Contents written to file: " + p);
    ASSERT_GE(m.events.size(), 2);
    EXPECT_EQ(m.events.last(), (QList<int>{3, 3, 100}));
    EXPECT_EQ(m.events.first()[1], 3);
}

TEST_F(FileCapture, BadFileNamesGive31AndSendNoRetr)
{
    struct Case {
        QByteArray path;
        QByteArray detail;
    };
    const QList<Case> cases = {{"", "Filename cannot be empty"},
                               {" ", "Filename cannot be empty"},
                               {path("missing/msg.txt"), "Error attempting to open file"}};
    FakeSession m(kSelected);
    m.select(1);
    for (Case c : cases) {
        m.v.WriteCurrentMsgToFile(c.path);
        EXPECT_EQ(m.v.Error(), 31);
        EXPECT_EQ(m.v.ErrorText(), "File error: " + c.detail);
        EXPECT_EQ(m.v.Status(), 1);
    }
    EXPECT_EQ(m.sent().count("RETR 1"), 0);
}

TEST_F(FileCapture, FileRemovedDuringTheTransferIsAFileError)
{
    // The folder goes (the disk "goes away"), or the file alone: either way the start of the
    // message is lost, and no file at the path may hold the rest as if it were the message.
    // A small message finds out at the end, a long one while it is still arriving.
    for (const bool wholeFolder : {true, false}) {
        for (const qsizetype size : {qsizetype(30000), qsizetype(9 * 1024 * 1024)}) {
            SCOPED_TRACE(QStringLiteral("%1, %2 bytes")
                             .arg(wholeFolder ? "folder removed" : "file removed")
                             .arg(size)
                             .toStdString());
            FakeSession m(QString::fromLatin1(kSelected) +
                          QStringLiteral("C: LIST 1\nS: +OK 1 %1\nC: RETR 1").arg(size));
            const QByteArray body(size, 'q');
            m.server.send("+OK\r\n" + body + "\r\n.\r\n", {2000, 12000}, 40);
            QDir(dir.path()).mkdir("sub");
            QByteArray p = path("sub/msg.txt");
            bool removed = false;
            m.v.setMsgReadStatusHandler([&](qint32&, qint32&, qint16&) {
                if (!removed) {
                    removed = wholeFolder ? QDir(dir.filePath("sub")).removeRecursively()
                                          : QFile::remove(dir.filePath("sub/msg.txt"));
                }
            });
            m.select(1);
            m.v.WriteCurrentMsgToFile(p);
            EXPECT_TRUE(removed);
            EXPECT_EQ(m.v.Error(), 31);
            EXPECT_EQ(m.v.ErrorText(), "File error: Error attempting to open file");
            EXPECT_FALSE(m.v.MsgContents().startsWith("Contents written"));
            EXPECT_FALSE(QFile::exists(dir.filePath("sub/msg.txt")));
            EXPECT_EQ(m.v.Status(), 1); // the exchange completed; the session goes on
        }
    }
}

// A streamed RETR that fails leaves no file. A refusal ends at its status line, with the server's
// words rather than the timeout's; "no such message" (another client removed it after TOP) is an
// absent message and keeps the session, so the deletion marks before it still reach QUIT.
TEST_F(FileCapture, FailedStreamedRetrLeavesNoFile)
{
    const struct {
        const char* name;
        const char* rows; // after "C: RETR 1"
        qint16 timeout;
        qint16 error;
        QByteArray errorText;
        qint16 status;
        QByteArray file;
        bool finalEvent; // 100 percent raised at the end
    } cases[] = {
        {"refused", "S: -ERR [SYS/TEMP] try later\nH:", 10, 25,
         "Error retrieving the message: -ERR [SYS/TEMP] try later", 0, "<missing>", true},
        {"gone meanwhile", "S: -ERR No such message\nH:", 10, 0, "", 1, "Unable to retrieve",
         false},
        {"cut off by the server", "S: +OK\r\nSubject: s\r\n\r\npart of it\nX:", 1, 25,
         "Error retrieving the message: Program determining timeout error", 0, "<missing>", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSession m(QString::fromLatin1(kSelected) + "C: LIST 1\nS: +OK 1 10\nC: RETR 1\n" +
                          QString::fromLatin1(c.rows),
                      c.timeout);
        m.select(1);
        QByteArray p = path();
        m.v.WriteCurrentMsgToFile(p);
        EXPECT_EQ(m.v.Error(), c.error);
        EXPECT_EQ(m.v.ErrorText(), c.errorText);
        EXPECT_EQ(m.v.Status(), c.status);
        EXPECT_EQ(fileBytes(dir.filePath("msg.txt")), c.file);
        EXPECT_EQ(!m.events.isEmpty() && m.events.last().value(2) == 100, c.finalEvent);
    }
}

TEST_F(FileCapture, AbsentMessageWritesTheMarkerText)
{
    FakeSession m("C: UIDL 2\nS: -ERR no such message\nC: TOP 2 0\nS: -ERR no such message\n"
                  "C: TOP 2\nS: -ERR no such message");
    m.select(2);
    QByteArray p = path();
    m.v.WriteCurrentMsgToFile(p);
    EXPECT_EQ(m.v.Error(), 0);
    EXPECT_EQ(fileBytes(dir.filePath("msg.txt")), "Unable to retrieve");
}

TEST(Deletion, MarksAndResetsKeepTheSessionOnRefusal)
{
    FakeSession m(R"(
        C:
        S: +OK 4 u
        C: DELE 4
        S: +OK marked
        C: DELE 4
        S: -ERR already deleted
        C: RSET
        S: +OK
    )");
    m.select(4);
    m.v.DeleteCurrentMsg();
    EXPECT_EQ(m.v.Error(), 0);
    EXPECT_EQ(m.v.MsgNumber(), 4);
    EXPECT_EQ(m.v.MsgCount(), 9);
    m.v.DeleteCurrentMsg();
    EXPECT_EQ(m.v.Error(), 26);
    EXPECT_EQ(m.v.ErrorText(), "Error using the DELE (delete) command: -ERR already deleted\r\n");
    EXPECT_EQ(m.v.Status(), 1);
    m.v.ResetDeletedMsgs();
    EXPECT_EQ(m.v.Error(), 0);
}

TEST(Deletion, DisconnectedCallsSendNothing)
{
    Vorlane v;
    v.DeleteCurrentMsg();
    EXPECT_EQ(v.Error(), 27);
    v.ResetDeletedMsgs();
    EXPECT_EQ(v.Error(), 29);
}

TEST(HostileServer, EndlessRepliesAreCutOffAndTheSessionEnds)
{
    const QByteArray flood(9 * 1024 * 1024, 'x'); // no line end, ever
    {
        FakeSession m("C: UIDL 1");
        m.server.send(flood, {}, 0);
        m.select(1);
        EXPECT_EQ(m.v.Error(), 21);
        EXPECT_EQ(m.v.ErrorText(), "Error using the UIDL command: Reply from server too long");
        EXPECT_EQ(m.v.Status(), 0);
    }
    {
        FakeSession m(QString::fromLatin1(kSelectedScript) + "C: LIST 1\nS: +OK 1 10\nC: RETR 1");
        m.server.send("+OK " + QByteArray(100 * 1024, 's'), {}, 0);
        m.select(1);
        QTemporaryDir dir;
        QByteArray path = QFile::encodeName(dir.filePath("m.txt"));
        m.v.WriteCurrentMsgToFile(path);
        EXPECT_EQ(m.v.Error(), 25);
        EXPECT_EQ(m.v.ErrorText(), "Error retrieving the message: Reply from server too long");
        EXPECT_EQ(m.v.Status(), 0);
    }
    FakePop3Server server;
    server.send(flood, {}, 0);
    Vorlane v;
    v.setPOPHostname("127.0.0.1");
    v.setPOPPort(server.port());
    v.setPOPUsername("bob");
    v.Connect();
    EXPECT_EQ(v.Error(), 11);
    EXPECT_EQ(v.Status(), 0);
}
