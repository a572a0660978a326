// The control against servers that close at awkward moments, answer late, or send more than
// their reply. Whatever they do, every method returns with a code of its own, and every value
// the control reports is the answer to the command that asked for it.
#include "control/vorlane.h"
#include "tests/control/fakesession.h"
#include "tests/support/fakepop3server.h"

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

const QString& kLogin = kFakeSessionLogin;
const QString kSelectFirst = QStringLiteral("C: UIDL 1\nS: +OK 1 uid1\n");

struct HostileCase {
    const char* name;
    QString script;
    qint16 timeout;
    // Drives the control and returns the value the case checks ("" when none).
    std::function<QByteArray(Vorlane&)> act;
    QByteArray value;
    qint16 error;
    QByteArray errorText;
    qint16 status;
    // A command that must never reach the wire ("" for none).
    QByteArray notSent;
};

QByteArray selectMessage(Vorlane& v, qint16 number)
{
    v.SetCurrentMsg(number);
    return {};
}

QByteArray saveToFile(Vorlane& v)
{
    QTemporaryDir dir;
    QByteArray path = QFile::encodeName(dir.filePath("m.txt"));
    v.WriteCurrentMsgToFile(path);
    return {};
}

const HostileCase kCases[] = {
    {"RefusedGreetingThenClose", "S: -ERR [SYS/TEMP] too many connections\nX:", 3,
     [](Vorlane&) { return QByteArray(); }, "", 14,
     "Error received from USER command: -ERR [SYS/TEMP] too many connections\r\n", 0, "USER"},
    {"StatThenClose", kFakeLoginUntilStat + "S: +OK 2 300\nX:", 3,
     [](Vorlane& v) {
         const qint16 afterConnect = v.Error();
         selectMessage(v, 1); // no session: 19, not a fault
         return QByteArray::number(afterConnect) + '/' + QByteArray::number(v.MsgCount());
     },
     "18/0", 19, "Cannot set message number when disconnected", 0, "UIDL"},
    {"ListRefusedWithGoodbye",
     kLogin + kSelectFirst +
         "C: TOP 1 0\nS: +OK\nS: .\nC: LIST 1\nS: -ERR Server shutting down.\nX:",
     3,
     [](Vorlane& v) {
         selectMessage(v, 1);
         return saveToFile(v);
     },
     "", 30, "Error using the LIST command: -ERR Server shutting down.\r\n", 0, "RETR"},
    {"TopRefusedWithGoodbye",
     kLogin + kSelectFirst + "C: TOP 1 0\nS: -ERR Server shutting down.\nX:", 3,
     [](Vorlane& v) {
         selectMessage(v, 1);
         return v.MsgHeaders();
     },
     "", 22, "Error using the TOP command: -ERR Server shutting down.\r\n", 0, "TOP 1\r"},
    {"CompleteRetrThenClose",
     kLogin + kSelectFirst +
         "C: LIST 1\nS: +OK 1 20\nC: RETR 1\nS: +OK\\r\\nSubject: a\\r\\n\\r\\nhi\nS: .\nX:",
     3,
     [](Vorlane& v) {
         selectMessage(v, 1);
         v.RetrieveCurrentMsg();
         const QByteArray contents = v.MsgContents();
         v.DeleteCurrentMsg(); // the server is gone: a code, not a fault
         const qint16 deleteError = v.Error();
         v.Disconnect();
         return contents + '/' + QByteArray(deleteError == 26 || deleteError == 27 ? "ok" : "?");
     },
     "hi/ok", 0, "", 0, ""},
    {"LateDeleReplyIsNoUniqueId",
     kLogin + kSelectFirst + "C: DELE 1\nP: 1300\nS: +OK late\nC: UIDL 2\nS: +OK 2 uid2", 3,
     [](Vorlane& v) {
         selectMessage(v, 1);
         v.setPOPTimeout(0); // gives up before the late reply
         v.DeleteCurrentMsg();
         const qint16 deleteError = v.Error();
         v.setPOPTimeout(3);
         selectMessage(v, 2);
         return QByteArray::number(deleteError) + '/' + v.MsgUniqueID();
     },
     "26/uid2", 0, "", 1, ""},
    {"LateListReplyIsNoUniqueId",
     kLogin + kSelectFirst + "C: LIST 1\nP: 1300\nS: +OK 1 22\nC: UIDL 2\nS: +OK 2 uid2", 3,
     [](Vorlane& v) {
         selectMessage(v, 1);
         v.setPOPTimeout(0);
         v.MsgSizeInK();
         const qint16 listError = v.Error();
         v.setPOPTimeout(3);
         selectMessage(v, 2);
         return QByteArray::number(listError) + '/' + v.MsgUniqueID();
     },
     "30/uid2", 0, "", 1, ""},
    {"LateTopReplyIsNotTheRetrysAnswer",
     kLogin + kSelectFirst +
         "C: TOP 1 0\nP: 2500\nS: +OK\\r\\nSubject: old\\r\\n\\r\\n.\nC: TOP 1\n"
         "S: +OK\\r\\nSubject: new\\r\\n\\r\\n.",
     3,
     [](Vorlane& v) {
         selectMessage(v, 1);
         v.setPOPTimeout(1); // the first TOP times out, the retry waits for its own answer
         return v.MsgHeaders();
     },
     "Subject: new\r\n", 0, "", 1, ""},
    {"JunkAfterStreamedReplyDoesNotAnswerDele",
     kLogin + kSelectFirst +
         "C: TOP 1 0\nS: +OK\nS: .\nC: LIST 1\nS: +OK 1 10\nC: RETR 1\n"
         "S: +OK\\r\\nbody\\r\\n.\\r\\n+OK junk\nC: DELE 1\nS: -ERR message locked",
     3,
     [](Vorlane& v) {
         selectMessage(v, 1);
         QTemporaryDir dir;
         QByteArray path = QFile::encodeName(dir.filePath("m.txt"));
         v.WriteCurrentMsgToFile(path);
         const QByteArray saved = fileBytes(dir.filePath("m.txt"));
         v.DeleteCurrentMsg();
         return saved;
     },
     "body", 26, "Error using the DELE (delete) command: -ERR message locked\r\n", 1, ""},
    {"JunkInTheReadOfAUniqueId",
     kLogin + "C: UIDL 2\nS: +OK 2 uid2\\r\\n+OK junk\nC: DELE 2\nS: -ERR message locked", 3,
     [](Vorlane& v) {
         selectMessage(v, 2);
         const QByteArray id = v.MsgUniqueID();
         v.DeleteCurrentMsg();
         return id;
     },
     "uid2", 26, "Error using the DELE (delete) command: -ERR message locked\r\n", 1, ""},
    {"JunkAfterHeadersDoesNotAnswerList",
     kLogin + kSelectFirst +
         "C: TOP 1 0\nS: +OK\\r\\nSubject: a\\r\\n\\r\\n.\\r\\n+OK 1 99999\nC: LIST 1\n"
         "S: -ERR busy",
     3,
     [](Vorlane& v) {
         selectMessage(v, 1);
         const QByteArray headers = v.MsgHeaders();
         v.MsgSizeInK();
         return headers;
     },
     "Subject: a\r\n", 30, "Error using the LIST command: -ERR busy\r\n", 1, ""},
    {"NoSelectionSendsNoTop", kLogin, 3, saveToFile, "", 24,
     "Cannot retrieve message number 0, use the SetCurrentMsg method", 0, "TOP"},
};

class HostileServerTable : public ::testing::TestWithParam<HostileCase> {};

} // namespace

TEST_P(HostileServerTable, EveryStepEndsWithItsOwnCode)
{
    const HostileCase& c = GetParam();
    QTemporaryDir dir;
    const QString trace = dir.filePath("trace.txt");
    FakePop3Server server;
    // A session still open at the end is closed as a polite server would: at once.
    server.script(c.script + "\nC: QUIT\nS: +OK bye\nX:");
    Vorlane v;
    v.setDebugFile(QFile::encodeName(trace));
    v.setDebugMode(true);
    v.setPOPHostname("127.0.0.1");
    v.setPOPPort(server.port());
    v.setPOPUsername("bob");
    v.setPOPPassword("pw");
    v.setPOPTimeout(c.timeout);
    QByteArray value;
    // A run-time fault would escape as an exception: no server behaviour may cause one.
    ASSERT_NO_THROW({
        v.Connect();
        value = c.act(v);
    });
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(v.Error(), c.error) << v.ErrorText().constData();
    EXPECT_EQ(v.ErrorText(), c.errorText);
    EXPECT_EQ(v.Status(), c.status);
    if (c.status == 0) {
        EXPECT_EQ(v.ConnectResponse(), "");
    }
    if (!c.notSent.isEmpty()) {
        EXPECT_FALSE(fileBytes(trace).contains("Sending command:" + c.notSent))
            << c.notSent.constData();
    }
    ASSERT_NO_THROW(v.Disconnect());
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileServerTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });
