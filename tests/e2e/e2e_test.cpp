// The built programs end to end, as a person meets them: Orsel01 and settings in a program
// folder of their own, a real X server (Xvfb), a real Dovecot on port 110, and every message box
// answered with xdotool.
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/systemstore.h"
#include "tests/dovecot/testmessage.h"
#include "tests/e2e/installedscanner.h"
#include "tests/support/clamdserver.h"
#include "tests/support/loopback.h"
#include "tests/support/programcopy.h"
#include "tests/support/testmail.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kTestString =
    "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

// A ClamAV database in `folder` that names the test file Orsel.Test.EICAR.
bool writeTestSignatures(const QTemporaryDir& folder)
{
    QFile signatures(folder.filePath(QStringLiteral("tiny.hdb")));
    return signatures.open(QIODevice::WriteOnly) &&
           signatures.write(testmail::eicarHashDatabase("Orsel.Test.EICAR")) > 0;
}

// Registered here, once for the binary: the desktop tests use the same X server.
const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new VirtualDisplay);

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "Dovecot on port 110 needs root";
        }
    }
    dovecot::DovecotServer server = dovecot::DovecotServer::fromEnvironment();

    dovecot::Mailbox mailbox(const char* hint) const
    {
        return server.createMailbox(QString::fromLatin1(hint));
    }
};

QByteArray cleanMessage(int n)
{
    return dovecot::makeMessage({"Subject: hello " + QByteArray::number(n)},
                                "Just a friendly note.\nSee you.\n");
}

} // namespace

TEST_F(EndToEnd, CleanMailboxIsSavedAndKept)
{
    const dovecot::Mailbox box = mailbox("clean");
    box.addMessage(cleanMessage(1));
    box.addMessage(cleanMessage(2));
    InstalledScanner scanner;
    scanner.storeSettings(server.address(), box.user(), box.password());
    scanner.start();
    EXPECT_TRUE(scanner.windowAppears(QStringLiteral("Form1"), 10000));
    EXPECT_EQ(scanner.waitForEnd(30000), 0);
    EXPECT_TRUE(scanner.output().contains("Scan of message 2 complete.\n\nNo viruses found.\n"));
    EXPECT_TRUE(scanner.output().contains("Scan complete!\n\nClosing in 3 seconds...\n"));
    EXPECT_TRUE(QFile::exists(scanner.savedFile(1)));
    EXPECT_TRUE(QFile::exists(scanner.savedFile(2)));
    EXPECT_EQ(box.messageCount(), 2);
}

TEST_F(EndToEnd, InfectedMessageIsDeletedAndTheOthersKept)
{
    const dovecot::Mailbox box = mailbox("infected");
    const QByteArray first = box.addMessage(cleanMessage(1));
    const QByteArray infected = box.addMessage(
        dovecot::makeMessage({"Subject: invoice"}, "Please open:\n" + kTestString + "\n"));
    const QByteArray third = box.addMessage(cleanMessage(3));
    InstalledScanner scanner;
    scanner.storeSettings(server.address(), box.user(), box.password());
    scanner.start();
    EXPECT_EQ(scanner.waitForEnd(40000), 0);
    EXPECT_TRUE(scanner.output().contains("Possible virus found!"));
    EXPECT_TRUE(box.containsMessage(first));
    EXPECT_FALSE(box.containsMessage(infected));
    EXPECT_TRUE(box.containsMessage(third));
}

TEST_F(EndToEnd, InfectedMessageIsDeletedOverTls)
{
    ASSERT_NE(server.tlsPort(), 0) << "the port-110 fixture also listens with TLS on 995";
    const dovecot::Mailbox box = mailbox("tls");
    const QByteArray clean = box.addMessage(cleanMessage(1));
    const QByteArray infected =
        box.addMessage(dovecot::makeMessage({"Subject: invoice"}, kTestString + "\n"));
    InstalledScanner scanner;
    scanner.storeSettings(server.address(), box.user(), box.password(),
                          {QStringLiteral("--security"), QStringLiteral("tls"),
                           QStringLiteral("--ca-file"), server.caFile()});
    scanner.start();
    EXPECT_EQ(scanner.waitForEnd(40000), 0) << scanner.output().constData();
    EXPECT_TRUE(scanner.output().contains("Possible virus found!"));
    EXPECT_TRUE(box.containsMessage(clean));
    EXPECT_FALSE(box.containsMessage(infected));
    // Dovecot marks a session that ran over TLS in its login line.
    const QByteArray login = "Login: user=<" + box.user().toUtf8() + ">";
    QElapsedTimer timer;
    timer.start();
    while (!server.log().contains(login) && timer.elapsed() < 5000) {
        QThread::msleep(20); // Dovecot's log process writes on its own time
    }
    const QByteArray log = server.log();
    const qsizetype at = log.indexOf(login);
    ASSERT_GE(at, 0) << log.right(800).constData();
    EXPECT_TRUE(log.mid(at, log.indexOf('\n', at) - at).contains(", TLS"));
}

TEST_F(EndToEnd, LargeMessageAnsweredCancelIsNeitherSavedNorDeleted)
{
    const dovecot::Mailbox box = mailbox("large");
    box.addMessage(cleanMessage(1));
    box.addMessage(dovecot::makeMessageOfSize(400 * 1024, 2));
    InstalledScanner scanner;
    scanner.storeSettings(server.address(), box.user(), box.password());
    scanner.start();
    EXPECT_TRUE(scanner.answerWindow(QStringLiteral("Alert!"), QStringLiteral("Escape")));
    EXPECT_EQ(scanner.waitForEnd(30000), 0);
    EXPECT_TRUE(QFile::exists(scanner.savedFile(1)));
    EXPECT_FALSE(QFile::exists(scanner.savedFile(2)));
    EXPECT_EQ(box.messageCount(), 2);
}

TEST_F(EndToEnd, WrongPasswordEndsAtOnce)
{
    const dovecot::Mailbox box = mailbox("wrongpass");
    box.addMessage(cleanMessage(1));
    InstalledScanner scanner;
    scanner.storeSettings(server.address(), box.user(), QStringLiteral("not-the-password"));
    QElapsedTimer timer;
    timer.start();
    scanner.start();
    EXPECT_EQ(scanner.waitForEnd(15000), 1);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_TRUE(scanner.output().contains(
        "Error received from PASS command: -ERR [AUTH] Authentication failed."));
    EXPECT_EQ(box.messageCount(), 1);
}

TEST_F(EndToEnd, ServerKilledWhileAMessageIsSelected)
{
    // A server of this test's own, so that killing it harms no other test.
    QTemporaryDir work;
    QFile::setPermissions(work.path(), QFile::Permissions(0x7755));
    const QString state = work.filePath(QStringLiteral("dovecot"));
    const QString fixture = QStringLiteral(DOVECOT_FIXTURE_SCRIPT);
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    ASSERT_EQ(runTool({fixture, QStringLiteral("start"), state, loopbackAddress(3),
                       QStringLiteral("110")},
                      environment),
              0);
    const dovecot::DovecotServer own(state);
    const dovecot::Mailbox box = own.createMailbox(QStringLiteral("killed"));
    box.addMessage(cleanMessage(1));
    box.addMessage(dovecot::makeMessageOfSize(400 * 1024, 3));
    box.addMessage(cleanMessage(3));
    InstalledScanner scanner;
    scanner.storeSettings(loopbackAddress(3), box.user(), box.password());
    scanner.start();
    // The size prompt holds the run with message 2 selected: kill the server now.
    EXPECT_TRUE(scanner.windowAppears(QStringLiteral("Alert!"), 20000));
    runTool({fixture, QStringLiteral("kill"), state}, environment);
    EXPECT_TRUE(scanner.answerWindow(QStringLiteral("Alert!"), QStringLiteral("Return")));
    EXPECT_TRUE(scanner.answerWindow(QStringLiteral("Error"), QStringLiteral("Return")));
    EXPECT_EQ(scanner.waitForEnd(20000), 1);
    EXPECT_EQ(box.messageCount(), 3);
    runTool({fixture, QStringLiteral("stop"), state}, environment);
}

TEST_F(EndToEnd, MissingSettingsStartTheSettingsProgram)
{
    InstalledScanner scanner;
    scanner.start();
    EXPECT_EQ(scanner.waitForEnd(10000), 0);
    EXPECT_TRUE(scanner.output().isEmpty());
    EXPECT_TRUE(scanner.answerWindow(QStringLiteral("Orsel settings"), QStringLiteral("Escape")));
}

TEST_F(EndToEnd, UnregisteredControlIsAClearRunTimeError)
{
    const dovecot::Mailbox box = mailbox("unregistered");
    InstalledScanner scanner(InstalledScanner::Registration::Unregistered);
    scanner.storeSettings(server.address(), box.user(), box.password());
    scanner.start();
    EXPECT_TRUE(scanner.answerWindow(QStringLiteral("Orsel01"), QStringLiteral("Return")));
    EXPECT_EQ(scanner.waitForEnd(10000), 2);
    const QByteArray errors = scanner.errors();
    EXPECT_TRUE(errors.contains("Run-time error '429'")) << errors.constData();
    EXPECT_TRUE(errors.contains("Vorlanecontrol.Vorlane")) << errors.constData();
}

// Orsel01 --headless, as a timer or cron job runs it: no display at all, no platform plugin for
// widgets, nobody to answer a box.
class Headless : public EndToEnd {
protected:
    static QByteArray summaryOf(const QByteArray& output)
    {
        const qsizetype at = output.lastIndexOf("Summary: ");
        return at < 0 ? QByteArray() : output.mid(at, output.indexOf('\n', at) - at);
    }
};

QByteArray infectedMessage()
{
    return dovecot::makeMessage({"Subject: invoice"}, "Please open:\n" + kTestString + "\n");
}

TEST_F(Headless, RunsWithoutDisplayAndEndsWithItsStatus)
{
    const struct {
        const char* name;
        QList<QByteArray> messages;
        QStringList arguments;
        bool wrongPassword;
        int exitCode;
        QByteArray summary; // after "Summary: "
        QList<int> kept;    // messages still on the server, by number
    } cases[] = {
        {"clean",
         {cleanMessage(1), cleanMessage(2)},
         {},
         false,
         0,
         "2 messages on the server, 2 checked, 0 skipped by size, 0 remembered, 0 infected (marked "
         "for deletion); "
         "deletions committed by QUIT: yes.",
         {1, 2}},
        {"infected",
         {cleanMessage(1), infectedMessage(), cleanMessage(3)},
         {},
         false,
         4,
         "3 messages on the server, 3 checked, 0 skipped by size, 0 remembered, 1 infected (marked "
         "for deletion); "
         "deletions committed by QUIT: yes.",
         {1, 3}},
        {"oversized",
         {cleanMessage(1), dovecot::makeMessageOfSize(400 * 1024, 2)},
         {},
         false,
         0,
         "2 messages on the server, 1 checked, 1 skipped by size, 0 remembered, 0 infected (marked "
         "for deletion); "
         "deletions committed by QUIT: yes.",
         {1, 2}},
        {"oversized within --max-size",
         {dovecot::makeMessageOfSize(400 * 1024, 2)},
         {"--max-size", "401"},
         false,
         0,
         "1 messages on the server, 1 checked, 0 skipped by size",
         {1}},
        {"wrong password",
         {cleanMessage(1)},
         {},
         true,
         1,
         "0 messages on the server, 0 checked, 0 skipped by size, 0 remembered, 0 infected (marked "
         "for deletion); "
         "deletions committed by QUIT: no.",
         {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const dovecot::Mailbox box = mailbox("headless");
        QList<QByteArray> uidls;
        for (const QByteArray& message : c.messages) {
            uidls.append(box.addMessage(message));
        }
        InstalledScanner scanner(InstalledScanner::Registration::Registered,
                                 InstalledScanner::Display::None);
        scanner.storeSettings(server.address(), box.user(),
                              c.wrongPassword ? QStringLiteral("wrong") : box.password());
        scanner.start(QStringList{QStringLiteral("--headless")} + c.arguments);
        EXPECT_EQ(scanner.waitForEnd(60000), c.exitCode) << scanner.errors().constData();
        const QByteArray output = scanner.output();
        EXPECT_TRUE(summaryOf(output).startsWith("Summary: " + c.summary)) << output.constData();
        for (int n = 1; n <= c.messages.size(); ++n) {
            EXPECT_EQ(box.containsMessage(uidls[n - 1]), c.kept.contains(n)) << "message " << n;
        }
        if (QByteArray(c.name) == "oversized") {
            EXPECT_TRUE(output.contains("Message 2 skipped: 401 K is more than --max-size 300.\n"));
            EXPECT_FALSE(QFile::exists(scanner.savedFile(2)));
        }
        if (QByteArray(c.name) == "infected") {
            // CR shown as a line break, the run not paused for anyone.
            EXPECT_TRUE(output.contains("Possible virus found!\n\nVirus Information:\n"));
        }
    }
}

// A mailbox that takes only OAuth, over TLS: the token helper's token signs in and the scan runs
// (the token never shown); the settings program's check signs in with it, counts and quits, and
// names the server's refusal once the helper hands out another user's token.
TEST_F(Headless, OAuthTokenCommandSignsInForTheScanAndTheCheck)
{
    const dovecot::Mailbox box = mailbox("oauth");
    const dovecot::Mailbox other = mailbox("oauth-other");
    box.addMessage(cleanMessage(1));
    const QByteArray infected = box.addMessage(infectedMessage());
    QTemporaryDir helper;
    const QString tokenFile = helper.filePath(QStringLiteral("token"));
    const auto handOut = [&](const QByteArray& token) {
        QFile file(tokenFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(token + "\n");
    };
    const QByteArray token = server.bearerToken(box.user());
    handOut(token);
    InstalledScanner scanner(InstalledScanner::Registration::Registered,
                             InstalledScanner::Display::None);
    scanner.storeSettings(server.address(), box.user(), QString(),
                          {"--security", "tls", "--ca-file", server.caFile(), "--auth", "xoauth2",
                           "--token-command", "cat '" + tokenFile + "'"});
    scanner.start({QStringLiteral("--headless")});
    EXPECT_EQ(scanner.waitForEnd(60000), 4) << scanner.errors().constData();
    const QByteArray output = scanner.output();
    EXPECT_TRUE(summaryOf(output).startsWith("Summary: 2 messages on the server, 2 checked"))
        << output.constData();
    EXPECT_FALSE(output.contains(token));
    EXPECT_FALSE(box.containsMessage(infected));

    QByteArray printed;
    QByteArray errors;
    EXPECT_EQ(scanner.runSettings({QStringLiteral("--check")}, &printed, &errors), 0)
        << errors.constData();
    EXPECT_EQ(printed, "Signed in to " + server.address().toLatin1() + ": 1 messages waiting\n");
    EXPECT_EQ(box.messageCount(), 1); // the check touched no mail

    handOut(server.bearerToken(other.user()));
    EXPECT_EQ(scanner.runSettings({QStringLiteral("--check")}, &printed, &errors), 1);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(errors, "Sign-in refused: -ERR [AUTH] Authentication failed. (status: 401)\n");
}

TEST_F(Headless, MissingSettingsNameTheSettingsProgram)
{
    InstalledScanner scanner(InstalledScanner::Registration::Registered,
                             InstalledScanner::Display::None);
    scanner.start({QStringLiteral("--headless")});
    EXPECT_EQ(scanner.waitForEnd(10000), 3);
    const QByteArray errors = scanner.errors();
    EXPECT_TRUE(errors.contains("/settings --address A --user U --pass -")) << errors.constData();
}

TEST_F(Headless, ServerKilledMidRunIsAnErrorOnStandardError)
{
    QTemporaryDir work;
    QFile::setPermissions(work.path(), QFile::Permissions(0x7755));
    const QString state = work.filePath(QStringLiteral("dovecot"));
    const QString fixture = QStringLiteral(DOVECOT_FIXTURE_SCRIPT);
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    ASSERT_EQ(runTool({fixture, QStringLiteral("start"), state, loopbackAddress(53),
                       QStringLiteral("110")},
                      environment),
              0);
    const dovecot::DovecotServer own(state);
    const dovecot::Mailbox box = own.createMailbox(QStringLiteral("killedheadless"));
    box.addMessage(cleanMessage(1));
    // Large enough that its RETR is still under way when the scanner is stopped.
    QByteArray big = "Subject: big\r\n\r\n";
    while (big.size() < (40 << 20)) {
        big += QByteArray(76, 'b') + "\r\n";
    }
    box.addMessage(big);
    box.addMessage(infectedMessage());
    InstalledScanner scanner(InstalledScanner::Registration::Registered,
                             InstalledScanner::Display::None);
    scanner.storeSettings(loopbackAddress(53), box.user(), box.password());
    scanner.start(
        {QStringLiteral("--headless"), QStringLiteral("--max-size"), QStringLiteral("100000")});
    // Held while message 2 comes in (a def.dat FIFO no longer holds it: it is refused), the
    // server is killed under it.
    EXPECT_TRUE(scanner.waitForOutput("Scanning message no: 2...", 20000));
    scanner.signal(SIGSTOP);
    runTool({fixture, QStringLiteral("kill"), state}, environment);
    scanner.signal(SIGCONT);
    EXPECT_EQ(scanner.waitForEnd(30000), 1);
    EXPECT_TRUE(scanner.errors().startsWith("Error: ")) << scanner.errors().constData();
    EXPECT_EQ(box.messageCount(), 3);
    runTool({fixture, QStringLiteral("stop"), state}, environment);
}

TEST_F(Headless, RememberedMessagesAreCountedNotFetchedUntilTheDefinitionsChange)
{
    const dovecot::Mailbox box = mailbox("remember");
    const QByteArray first = box.addMessage(cleanMessage(1));
    box.addMessage(cleanMessage(2));
    InstalledScanner scanner(InstalledScanner::Registration::Registered,
                             InstalledScanner::Display::None);
    scanner.storeSettings(server.address(), box.user(), box.password());
    const QStringList arguments{QStringLiteral("--headless"), QStringLiteral("--remember")};

    scanner.start(arguments);
    ASSERT_EQ(scanner.waitForEnd(30000), 0);
    EXPECT_TRUE(scanner.output().contains(", 2 checked, 0 skipped by size, 0 remembered"));
    const QStringList memory = QDir(scanner.stateFolder()).entryList(QDir::Files);
    ASSERT_EQ(memory.size(), 1);
    EXPECT_EQ(QFile::permissions(scanner.stateFolder() + "/" + memory[0]),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

    QFile::remove(scanner.savedFile(1));
    scanner.start(arguments);
    ASSERT_EQ(scanner.waitForEnd(30000), 0);
    EXPECT_TRUE(scanner.output().contains(", 0 checked, 0 skipped by size, 2 remembered"));
    EXPECT_FALSE(scanner.output().contains("Scanning message no:"));
    EXPECT_FALSE(QFile::exists(scanner.savedFile(1))); // not fetched

    // A changed def.dat: everything is checked again, and what it finds is deleted.
    QFile definitions(scanner.programFile(QStringLiteral("def.dat")));
    ASSERT_TRUE(definitions.open(QIODevice::Append));
    definitions.write("\r\nfriendly note\r\n");
    definitions.close();
    scanner.start(arguments);
    EXPECT_EQ(scanner.waitForEnd(60000), 4);
    EXPECT_TRUE(scanner.output().contains(", 2 checked, 0 skipped by size, 0 remembered, 2 "
                                          "infected"));
    EXPECT_FALSE(box.containsMessage(first));
}

TEST_F(Headless, QuarantineKeepsInfectedFilesAndRemovesCleanOnes)
{
    const dovecot::Mailbox box = mailbox("quarantine");
    box.addMessage(cleanMessage(1));
    const QByteArray infected = box.addMessage(infectedMessage());
    InstalledScanner scanner(InstalledScanner::Registration::Registered,
                             InstalledScanner::Display::None);
    scanner.storeSettings(server.address(), box.user(), box.password());
    QTemporaryDir work;
    const QString quarantine = work.filePath(QStringLiteral("quarantine"));
    scanner.start({QStringLiteral("--headless"), QStringLiteral("--quarantine"), quarantine});
    EXPECT_EQ(scanner.waitForEnd(30000), 4);
    EXPECT_EQ(QFile::permissions(quarantine) & 0x0077, QFile::Permissions());
    const QStringList kept = QDir(quarantine).entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{8}-\\d{6}-") +
                                   QRegularExpression::escape(QString::fromLatin1(infected)) +
                                   QStringLiteral("\\.txt$"))
                    .match(kept[0])
                    .hasMatch())
        << qPrintable(kept[0]);
    EXPECT_EQ(QFile::permissions(quarantine + "/" + kept[0]),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_FALSE(QFile::exists(scanner.savedFile(1)));
    EXPECT_FALSE(QFile::exists(scanner.savedFile(2)));
}

TEST_F(Headless, HelpListsEveryOptionAndExitStatus)
{
    InstalledScanner scanner(InstalledScanner::Registration::Unregistered,
                             InstalledScanner::Display::None);
    scanner.start({QStringLiteral("--help")});
    EXPECT_EQ(scanner.waitForEnd(10000), 0);
    const QByteArray help = scanner.output();
    for (const char* text : {"--headless", "--max-size <K>", "(default 300)", "--remember",
                             "--quarantine <DIR>", "  0  ", "  1  ", "  2  ", "  3  ", "  4  ",
                             "  5  some messages were not fully checked"}) {
        EXPECT_TRUE(help.contains(text)) << text;
    }
}

// Each run loads only the libraries its settings use: a definition check alone needs none of the
// program's modules, and a module that is missing when a run needs it is a clear error. The
// loader's own account (LD_DEBUG) says which libraries a run opened.
TEST_F(Headless, LoadsOnlyTheLibrariesItsSettingsUse)
{
    QTemporaryDir database;
    ASSERT_TRUE(writeTestSignatures(database));
    const QStringList decode{QStringLiteral("--decode"), QStringLiteral("1")};
    const QStringList noDecode{QStringLiteral("--decode"), QStringLiteral("0")};
    const QStringList clamAv = noDecode + QStringList{QStringLiteral("--clamav"), database.path()};
    const QStringList allModules{QStringLiteral("Orsel01ui.so"), QStringLiteral("Orsel01mime.so"),
                                 QStringLiteral("Orsel01clamav.so"),
                                 QStringLiteral("Orsel01notify.so")};
    const struct {
        const char* name;
        bool headless;
        QStringList settings;
        QStringList removed; // module files taken from the program's folder
        int exitCode;
        QByteArray error; // on standard error
        QList<QByteArray> loaded;
        QList<QByteArray> notLoaded;
        bool infected = false; // a run with something to tell the desktop
    } cases[] = {
        {"definition check alone, no module there",
         true,
         noDecode,
         allModules,
         0,
         {},
         {},
         {"libQt6Gui", "libQt6Widgets", "libgmime", "libclamav", "libqt6keychain", "libQt6DBus",
          "libcrypto"}},
        {"decoded check", true, decode, {}, 0, {}, {"libgmime"}, {"libQt6Widgets", "libclamav"}},
        {"in-process ClamAV",
         true,
         clamAv,
         {},
         0,
         {},
         {"libclamav"},
         {"libQt6Widgets", "libgmime"}},
        {"decoded check without its module",
         true,
         decode,
         {QStringLiteral("Orsel01mime.so")},
         1,
         "Cannot load the decoded check: ",
         {},
         {"libgmime"}},
        {"ClamAV without its module",
         true,
         clamAv,
         {QStringLiteral("Orsel01clamav.so")},
         1,
         "Cannot load the ClamAV engine: ",
         {},
         {"libclamav"}},
        {"window without its module",
         false,
         noDecode,
         {QStringLiteral("Orsel01ui.so")},
         2,
         "Orsel01: the window cannot be shown: ",
         {},
         {"libQt6Widgets"}},
        {"infected mail: notifications from their module",
         true,
         noDecode,
         {},
         4,
         {},
         {"libQt6DBus"},
         {"libQt6Widgets", "libclamav"},
         true},
        {"infected mail without the notification module",
         true,
         noDecode,
         {QStringLiteral("Orsel01notify.so")},
         4,
         "Orsel01: no notification: ",
         {},
         {"libQt6DBus"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const dovecot::Mailbox box = mailbox("modules");
        box.addMessage(c.infected ? infectedMessage() : cleanMessage(1));
        InstalledScanner scanner(InstalledScanner::Registration::Registered,
                                 InstalledScanner::Display::None);
        scanner.storeSettings(server.address(), box.user(), box.password(), c.settings);
        for (const QString& module : c.removed) {
            ASSERT_TRUE(QFile::remove(scanner.programFile(module))) << module.toStdString();
        }
        scanner.setVariable(QStringLiteral("LD_DEBUG"), QStringLiteral("files"));
        scanner.start(c.headless ? QStringList{QStringLiteral("--headless")} : QStringList{});
        EXPECT_EQ(scanner.waitForEnd(60000), c.exitCode) << scanner.output().constData();
        const QByteArray errors = scanner.errors();
        if (!c.error.isEmpty()) {
            EXPECT_TRUE(errors.contains(c.error)) << errors.constData();
            EXPECT_TRUE(errors.contains(c.removed.value(0).toUtf8())) << "names the file";
        }
        for (const QByteArray& library : c.loaded) {
            EXPECT_TRUE(errors.contains("file=" + library)) << library.constData();
        }
        for (const QByteArray& library : c.notLoaded) {
            EXPECT_FALSE(errors.contains("file=" + library)) << library.constData();
        }
    }
}

// A CA file that does not vouch for the server leaves it to the system's store (SSL_CERT_DIR
// stands in for it), which the control consults through its companion VRLN401trust.so. Without
// the companion the server stays untrusted: no login, and standard error says why.
TEST_F(Headless, ServerTheCaFileDoesNotNameIsCheckedByTheControlsCompanion)
{
    ASSERT_NE(server.tlsPort(), 0) << "the port-110 fixture also listens with TLS on 995";
    QTemporaryDir dir;
    const QString unrelatedCa = systemstore::makeUnrelatedCa(dir.path());
    ASSERT_FALSE(unrelatedCa.isEmpty());
    const QString systemStore = dir.filePath(QStringLiteral("system"));
    ASSERT_TRUE(systemstore::makeStore(systemStore, {server.caFile()}));
    const struct {
        const char* name;
        bool companion;
        int exitCode;
    } cases[] = {{"companion beside the control", true, 4}, {"companion missing", false, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const dovecot::Mailbox box = mailbox(c.companion ? "storewith" : "storewithout");
        const QByteArray infected = box.addMessage(infectedMessage());
        InstalledScanner scanner(InstalledScanner::Registration::Unregistered,
                                 InstalledScanner::Display::None);
        const QString control = scanner.programFile(QStringLiteral("VRLN401.so"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(VRLN401_PATH), control));
        if (c.companion) {
            const QString companion = QFileInfo(QStringLiteral(VRLN401_PATH))
                                          .dir()
                                          .filePath(QStringLiteral("VRLN401trust.so"));
            ASSERT_TRUE(
                QFile::copy(companion, scanner.programFile(QStringLiteral("VRLN401trust.so"))));
        }
        scanner.registerControl(control);
        scanner.storeSettings(server.address(), box.user(), box.password(),
                              {QStringLiteral("--security"), QStringLiteral("tls"),
                               QStringLiteral("--ca-file"), unrelatedCa});
        scanner.setVariable(QStringLiteral("SSL_CERT_DIR"), systemStore);
        scanner.start({QStringLiteral("--headless")});
        EXPECT_EQ(scanner.waitForEnd(40000), c.exitCode) << scanner.output().constData();
        EXPECT_EQ(box.containsMessage(infected), !c.companion);
        if (!c.companion) {
            const QByteArray errors = scanner.errors();
            EXPECT_TRUE(errors.contains("VRLN401trust.so")) << errors.constData();
        }
    }
}

// A daemon reached through a relay takes each message as a stream, and no more of it than its
// StreamMaxLength: the longer message is not fully checked, stays on the server, is not
// remembered, and the run ends with status 5 although it also deleted infected mail.
TEST_F(Headless, AMessageTheDaemonCouldNotCheckWholeStaysAndIsCheckedAgain)
{
    ClamdServer clamd({QStringLiteral("StreamMaxLength 1M")});
    QString why;
    ASSERT_TRUE(clamd.start(&why)) << qPrintable(why);
    const DescriptorlessRelay relay(clamd.socket());
    ASSERT_FALSE(relay.socket().isEmpty()) << "the relay did not start";
    const dovecot::Mailbox box = mailbox("streamlimit");
    const QByteArray clean = box.addMessage(cleanMessage(1));
    const QByteArray longer = box.addMessage(dovecot::makeMessageOfSize(1536 * 1024, 2));
    const QByteArray zipped = box.addMessage(
        QByteArray(
            testmail::message("zipped", testmail::base64Attachment(
                                            "test.zip", "application/zip",
                                            testmail::deflatedZip("eicar.com", testmail::eicar()))))
            .replace("\r\n", "\n"));
    InstalledScanner scanner(InstalledScanner::Registration::Registered,
                             InstalledScanner::Display::None);
    scanner.storeSettings(server.address(), box.user(), box.password(),
                          {QStringLiteral("--clamav"), "clamd:" + relay.socket()});
    const QStringList arguments{QStringLiteral("--headless"), QStringLiteral("--remember"),
                                QStringLiteral("--max-size"), QStringLiteral("4000")};

    scanner.start(arguments);
    EXPECT_EQ(scanner.waitForEnd(60000), 5) << scanner.errors().constData();
    QByteArray output = scanner.output();
    EXPECT_TRUE(output.contains("Message 2 was not fully checked:\nThe ClamAV daemon at " +
                                QFile::encodeName(relay.socket()) +
                                " answered \"INSTREAM size limit exceeded. ERROR\".\n\nIt stays "
                                "on the server and is checked again next time.\n"))
        << output.constData();
    EXPECT_EQ(summaryOf(output).toStdString(),
              "Summary: 3 messages on the server, 2 checked, 0 skipped by size, 0 remembered, 1 "
              "infected (marked for deletion), 1 not fully checked (left on the server); "
              "deletions committed by QUIT: yes.");
    EXPECT_TRUE(box.containsMessage(clean));
    EXPECT_TRUE(box.containsMessage(longer));
    EXPECT_FALSE(box.containsMessage(zipped));

    scanner.start(arguments);
    EXPECT_EQ(scanner.waitForEnd(60000), 5) << scanner.errors().constData();
    output = scanner.output();
    EXPECT_EQ(summaryOf(output).toStdString(),
              "Summary: 2 messages on the server, 0 checked, 0 skipped by size, 1 remembered, 0 "
              "infected (marked for deletion), 1 not fully checked (left on the server); "
              "deletions committed by QUIT: yes.");
    EXPECT_TRUE(box.containsMessage(longer));
}

// Not a timed assertion: the times go to the log for the closing note.
TEST_F(Headless, ThousandRememberedMessagesAgainstAFirstScan)
{
    const dovecot::Mailbox box = mailbox("thousand");
    for (int n = 1; n <= 1000; ++n) {
        box.addMessage(dovecot::makeMessageOfSize(10 * 1024, n));
    }
    InstalledScanner scanner(InstalledScanner::Registration::Registered,
                             InstalledScanner::Display::None);
    scanner.storeSettings(server.address(), box.user(), box.password());
    const QStringList arguments{QStringLiteral("--headless"), QStringLiteral("--remember")};
    QElapsedTimer timer;
    timer.start();
    scanner.start(arguments);
    ASSERT_EQ(scanner.waitForEnd(300000), 0);
    const qint64 first = timer.restart();
    scanner.start(arguments);
    ASSERT_EQ(scanner.waitForEnd(300000), 0);
    const qint64 remembered = timer.elapsed();
    EXPECT_TRUE(scanner.output().contains(", 0 checked, 0 skipped by size, 1000 remembered"));
    std::printf("headless scan of 1,000 messages: first %.2f s, remembered %.2f s\n",
                first / 1000.0, remembered / 1000.0);
}

TEST_F(EndToEnd, BothEnginesFindWhatTheRawCheckCannotSee)
{
    // The test text base64-encoded in one message and deflated in a zip in another: the decoded
    // check finds the first, ClamAV with a database written here the second.
    QTemporaryDir database;
    ASSERT_TRUE(writeTestSignatures(database));
    const auto stored = [](const QByteArray& crlf) {
        return QByteArray(crlf).replace("\r\n", "\n");
    };
    const QByteArray zip = testmail::deflatedZip("eicar.com", testmail::eicar());
    ASSERT_FALSE(zip.isEmpty());

    const dovecot::Mailbox box = mailbox("engines");
    const QByteArray clean = box.addMessage(cleanMessage(1));
    const QByteArray encoded = box.addMessage(stored(
        testmail::message("encoded", testmail::base64Attachment("readme.txt", "text/plain",
                                                                testmail::eicar() + "\r\n"))));
    const QByteArray zipped = box.addMessage(stored(testmail::message(
        "zipped", testmail::base64Attachment("test.zip", "application/zip", zip))));
    InstalledScanner scanner;
    scanner.storeSettings(server.address(), box.user(), box.password(),
                          {QStringLiteral("--decode"), QStringLiteral("1"),
                           QStringLiteral("--clamav"), database.path()});
    scanner.start();
    EXPECT_EQ(scanner.waitForEnd(60000), 0) << scanner.errors().constData();
    const QByteArray out = scanner.output();
    EXPECT_TRUE(
        out.contains("Loading ClamAV signatures from " + QFile::encodeName(database.path())));
    EXPECT_TRUE(out.contains("[" + testmail::eicar() + "]:readme.txt: " + testmail::eicar()));
    EXPECT_TRUE(out.contains("[Orsel.Test.EICAR.UNOFFICIAL]:ClamAV: eicar.com"));
    EXPECT_TRUE(box.containsMessage(clean));
    EXPECT_FALSE(box.containsMessage(encoded));
    EXPECT_FALSE(box.containsMessage(zipped));
}
