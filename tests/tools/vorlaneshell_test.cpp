// vorlane-shell: scripts against the registered library, created by ProgID, line by line as JSON;
// conversions and errors as a host sees them, and a whole session against a fake POP3 server.
#include "tests/support/filebytes.h"
#include "tests/tools/fakepop3process.h"
#include "tests/tools/toolrun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

Lines textLines(const QList<QByteArray>& lines)
{
    Lines text;
    for (const QByteArray& line : lines)
        text.push_back(line.toStdString());
    return text;
}

class VorlaneShell : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ToolRun registered =
            runTool(QStringLiteral(REGSVR_PATH), {QStringLiteral(VRLN401_PATH)}, m_home.path());
        ASSERT_EQ(registered.exitCode, 0) << registered.err.constData();
    }

    ToolRun shell(const QByteArray& script, const QStringList& arguments = {})
    {
        const ToolRun run =
            runTool(QStringLiteral(VORLANE_SHELL_PATH), arguments, m_home.path(), script);
        EXPECT_TRUE(run.finished);
        return run;
    }

    // Runs the script and expects it to end normally with exactly these output lines.
    void expectOutput(const QByteArray& script, const Lines& expected)
    {
        const ToolRun run = shell(script);
        EXPECT_EQ(run.exitCode, 0) << run.err.constData();
        EXPECT_EQ(textLines(run.lines()), expected);
    }

    QTemporaryDir m_home;
};

constexpr char kOk[] = R"({"ok":true})";

TEST_F(VorlaneShell, PutsConvertValuesAndAFailedPutChangesNothing)
{
    expectOutput(R"(create Vorlanecontrol.Vorlane
get Version
get popport
put POPPort "110"
put POPPort "abc"
get POPPort
put POPTimeout 40000
put POPTimeout 2.5
get POPTimeout
put DebugMode null
get DebugMode
put DebugMode "true"
get DebugMode
put POPHostname "a b\u0000\u00ff\"\\"
get POPHostname
put POPUsername 12
get POPUsername
)",
                 {kOk, R"({"ok":true,"type":"String","value":"4.0.1"})",
                  R"({"ok":true,"type":"Long","value":110})", kOk,
                  R"({"ok":false,"number":13,"error":"Type mismatch"})",
                  R"({"ok":true,"type":"Long","value":110})",
                  R"({"ok":false,"number":6,"error":"Overflow"})", kOk,
                  R"({"ok":true,"type":"Integer","value":2})",
                  R"({"ok":false,"number":94,"error":"Invalid use of Null"})",
                  R"({"ok":true,"type":"Boolean","value":false})", kOk,
                  R"({"ok":true,"type":"Boolean","value":true})", kOk,
                  R"({"ok":true,"type":"String","value":"a b\u0000\u00ff\"\\"})", kOk,
                  R"({"ok":true,"type":"String","value":"12"})"});
}

TEST_F(VorlaneShell, FindsMembersByNameOrIdAndReportsDispatchErrors)
{
    expectOutput(
        R"(create Vorlanecontrol.Vorlane
get #0x68030017
get #1745027095
get STATUSTEXT
get NoSuchMember
put Status i16:1
call Connect 1
get Version 1
call GetStringValueOfProperty "POPPort"
call SetCurrentMsg i16:1
get Error
)",
        {kOk, R"({"ok":true,"type":"Integer","value":0})",
         R"({"ok":true,"type":"Integer","value":0})",
         R"({"ok":true,"type":"String","value":"Disconnected"})",
         R"({"ok":false,"number":438,"error":"Object doesn't support this property or method"})",
         R"({"ok":false,"number":438,"error":"Object doesn't support this property or method"})",
         R"({"ok":false,"number":450,"error":"Wrong number of arguments or invalid property assignment"})",
         R"({"ok":false,"number":450,"error":"Wrong number of arguments or invalid property assignment"})",
         R"({"ok":true,"type":"String","value":"110","args":["POPPort"]})",
         R"({"ok":true,"args":[1]})", R"({"ok":true,"type":"Integer","value":19})"});
}

// Every line gets its answer and the script goes on, whatever went wrong before.
TEST_F(VorlaneShell, ReportsBadLinesAndGoesOn)
{
    const ToolRun run = shell(R"(get Version
create No.Such.Class
frobnicate 1
create Vorlanecontrol.Vorlane
put POPHostname "\u20ac"
get Version
release
get Version
)");
    EXPECT_EQ(run.exitCode, 0);
    const QList<QByteArray> lines = run.lines();
    ASSERT_EQ(lines.size(), 8) << run.out.constData();
    EXPECT_TRUE(lines[0].startsWith(R"({"ok":false,"number":91,)"));
    EXPECT_TRUE(lines[1].startsWith(R"({"ok":false,"number":429,)"));
    EXPECT_TRUE(lines[1].contains("No.Such.Class")) << lines[1].constData();
    EXPECT_TRUE(lines[2].startsWith(R"({"ok":false,"number":5,)"));
    EXPECT_EQ(lines[3], kOk);
    EXPECT_TRUE(lines[4].startsWith(R"({"ok":false,"number":5,)"));
    EXPECT_EQ(lines[5], R"({"ok":true,"type":"String","value":"4.0.1"})");
    EXPECT_EQ(lines[6], kOk);
    EXPECT_TRUE(lines[7].startsWith(R"({"ok":false,"number":91,)"));
}

TEST_F(VorlaneShell, ReadsAScriptFileAndFailsOnOneItCannotRead)
{
    const QString path = m_home.path() + QStringLiteral("/script.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("# a comment\r\n\r\n   create Vorlanecontrol.Vorlane\r\n\tGET version\r\n");
    file.close();
    const ToolRun run = shell({}, {path});
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    EXPECT_EQ(textLines(run.lines()),
              (Lines{kOk, R"({"ok":true,"type":"String","value":"4.0.1"})"}));

    for (const QString& unreadable : {m_home.path() + QStringLiteral("/none.txt"), m_home.path()}) {
        const ToolRun failed = shell({}, {unreadable});
        EXPECT_EQ(failed.exitCode, 2);
        EXPECT_TRUE(failed.out.isEmpty());
        EXPECT_FALSE(failed.err.isEmpty());
    }
}

// Connect, select, stream the message into a file with progress events, and release: the
// released object says QUIT, which ends the server's session.
TEST_F(VorlaneShell, RunsASessionAgainstAFakeServer)
{
    if (QByteArray(PYTHON3_PATH).isEmpty())
        GTEST_SKIP() << "python3 is needed for the fake POP3 server";
    FakePop3Process server;
    const quint16 port = server.start();
    ASSERT_NE(port, 0);
    const QByteArray messageFile = QFile::encodeName(m_home.path()) + "/msg1.txt";
    const ToolRun run = shell(R"(create Vorlanecontrol.Vorlane
put POPHostname "127.0.0.1"
put POPPort )" + QByteArray::number(port) +
                              R"(
put POPUsername "user"
put POPPassword "secret"
call Connect
get Status
get MsgCount
call SetCurrentMsg i16:1
call SetCurrentMsg i16:0
get MsgUniqueID
get MsgSubject
call WriteCurrentMsgToFile ")" +
                              messageFile + R"("
get Error
release
)");
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    const Lines lines = textLines(run.lines());
    ASSERT_GE(lines.size(), 16u) << run.out.constData();
    const Lines head(lines.begin(), lines.begin() + 12);
    EXPECT_EQ(
        head,
        (Lines{kOk, kOk, kOk, kOk, kOk, kOk, R"({"ok":true,"type":"Integer","value":1})",
               R"({"ok":true,"type":"Long","value":1})", R"({"ok":true,"args":[1]})",
               R"({"ok":true,"args":[1]})", R"({"ok":true,"type":"String","value":"uid-0001"})",
               R"({"ok":true,"type":"String","value":"scripted"})"}));
    // The message is one K: every report, and the final one, is 1 of 1 K, 100 percent; all come
    // before the call's own result.
    const Lines events(lines.begin() + 12, lines.end() - 3);
    ASSERT_FALSE(events.empty());
    for (const std::string& event : events)
        EXPECT_EQ(event, R"({"event":"MsgReadStatus","args":[1,1,100]})");
    const Lines tail(lines.end() - 3, lines.end());
    EXPECT_EQ(tail, (Lines{R"({"ok":true,"args":[")" + messageFile.toStdString() + R"("]})",
                           R"({"ok":true,"type":"Integer","value":0})", kOk}));

    EXPECT_EQ(textLines(server.commands()),
              (Lines{"USER user", "PASS secret", "STAT", "UIDL 1", "UIDL 1", "TOP 1 0", "LIST 1",
                     "RETR 1", "QUIT"}));
    const QByteArray text = fileBytes(QFile::decodeName(messageFile));
    EXPECT_TRUE(text.contains("Subject: scripted\r\n"));
    EXPECT_TRUE(text.contains("Hello from the fake server."));
}

} // namespace
