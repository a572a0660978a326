// vorlane-shell scripts against a real Dovecot: what a scripting host sees of a whole session.
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/rawpop3.h"
#include "tests/dovecot/testmessage.h"
#include "tests/support/filebytes.h"
#include "tests/tools/toolrun.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray jsonString(const QByteArray& text)
{
    return '"' + text + '"';
}

} // namespace

TEST(VorlaneShellDovecot, ScriptedSessionReadsSavesAndDeletes)
{
    QTemporaryDir home;
    ASSERT_EQ(
        runTool(QStringLiteral(REGSVR_PATH), {QStringLiteral(VRLN401_PATH)}, home.path()).exitCode,
        0);
    const dovecot::DovecotServer server = dovecot::DovecotServer::fromEnvironment();
    const dovecot::Mailbox box = server.createMailbox(u"shell");
    const QByteArray message =
        dovecot::makeMessage({"From: a@example.org", "Subject: Scripted"}, "Line one\nLine two\n");
    const QByteArray uidl = box.addMessage(message);
    const QByteArray kept = box.addMessage(dovecot::makeMessageOfSize(3000, 1));
    const QString file = home.filePath(QStringLiteral("msg1.txt"));

    const QByteArray script = "create Vorlanecontrol.Vorlane\n"
                              "put POPHostname " +
                              jsonString(server.address().toLatin1()) +
                              "\n"
                              "put POPPort " +
                              QByteArray::number(server.port()) +
                              "\n"
                              "put POPUsername " +
                              jsonString(box.user().toLatin1()) +
                              "\n"
                              "put POPPassword " +
                              jsonString(box.password().toLatin1()) +
                              "\n"
                              "call Connect\n"
                              "get Status\n"
                              "get MsgCount\n"
                              "call SetCurrentMsg i16:1\n"
                              "get MsgUniqueID\n"
                              "get MsgSubject\n"
                              "call WriteCurrentMsgToFile " +
                              jsonString(file.toLatin1()) +
                              "\n"
                              "get Error\n"
                              "call DeleteCurrentMsg\n"
                              "call Disconnect\n"
                              "get Status\n"
                              "release\n";
    const ToolRun run = runTool(QStringLiteral(VORLANE_SHELL_PATH), {}, home.path(), script);
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    const QList<QByteArray> lines = run.lines();
    const auto has = [&](const QByteArray& line) { return lines.contains(line); };
    EXPECT_TRUE(has(R"({"ok":true,"type":"Integer","value":1})"));
    EXPECT_TRUE(has(R"({"ok":true,"type":"Long","value":2})"));
    EXPECT_TRUE(has(R"({"ok":true,"args":[1]})"));
    EXPECT_TRUE(has(R"({"ok":true,"type":"String","value":")" + uidl + R"("})"));
    EXPECT_TRUE(has(R"({"ok":true,"type":"String","value":"Scripted"})"));
    EXPECT_TRUE(has(R"({"event":"MsgReadStatus","args":[1,1,100]})"));
    EXPECT_TRUE(has(R"({"ok":true,"type":"Integer","value":0})"));
    EXPECT_EQ(lines.last(), R"({"ok":true})");
    EXPECT_EQ(fileBytes(file), dovecot::pop3Body(message));
    EXPECT_FALSE(box.containsMessage(uidl)); // DELE committed by the QUIT of Disconnect
    EXPECT_TRUE(box.containsMessage(kept));
}
