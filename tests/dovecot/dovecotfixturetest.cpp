// The Dovecot fixture and its support library against the real server: what the fixture
// promises (its own process group, fresh users at once, fast refusals) and the facts other tests
// build their expectations on (sizes, line ends, dot-stuffing, UIDLs, deletion).
#include "tests/dovecot/dovecoterror.h"
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/rawpop3.h"
#include "tests/dovecot/testmessage.h"
#include "tests/support/filebytes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <gtest/gtest.h>
#include <numeric>
#include <unistd.h>

using namespace dovecot;
using namespace std::chrono_literals;

namespace {

QString currentTestName()
{
    return QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name());
}

class DovecotFixture : public ::testing::Test {
protected:
    DovecotServer server = DovecotServer::fromEnvironment();
    Mailbox mailbox = server.createMailbox(currentTestName());
};

TEST_F(DovecotFixture, MasterLeadsItsOwnProcessGroupAndAnswers)
{
    QFile pidFile(server.stateDir() + "/master.pid");
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const pid_t master = pidFile.readAll().trimmed().toInt();
    // Stopping kills this group; a master outside it would survive the fixture.
    EXPECT_EQ(getpgid(master), master);
    EXPECT_EQ(server.address(), "127.0.0.1");

    RawPop3 pop(server);
    EXPECT_TRUE(pop.greeting().startsWith("+OK"));
}

TEST_F(DovecotFixture, UsersAddedWhileRunningLogInAndSeeOnlyTheirOwnMail)
{
    const QByteArray first = mailbox.addMessage("Subject: one\r\n\r\nfirst\r\n");
    const QByteArray second = mailbox.addMessage("Subject: two\r\n\r\nsecond\r\n");
    const QByteArray third = mailbox.addMessage("Subject: three\r\n\r\nthird\r\n");
    {
        RawPop3 pop(server, mailbox.user(), mailbox.password());
        EXPECT_EQ(pop.stat().first, 3);
        // The UIDL is the file's base name, and messages keep the order they were added in.
        EXPECT_EQ(pop.uidl().values(), (QList<QByteArray>{first, second, third}));
        EXPECT_EQ(pop.retrBody(2), "Subject: two\r\n\r\nsecond");
        pop.quit();
    }
    // Stored as Dovecot keeps mail, with LF only.
    EXPECT_EQ(fileBytes(mailbox.maildir() + "/cur/" + QString::fromLatin1(second) + ":2,S"),
              "Subject: two\n\nsecond\n");

    // Within the second of the last login, and from a hint such as a parameterised test's name.
    const Mailbox later = server.createMailbox(u"Sizes/1 (odd: name)");
    RawPop3 pop(server, later.user(), later.password());
    EXPECT_EQ(pop.stat(), (std::pair<int, qint64>{0, 0}));
    pop.quit();
    EXPECT_THROW(server.createMailbox(later.user(), "again"), DovecotError);
}

TEST_F(DovecotFixture, RefusedLoginsAnswerWithinASecondAndDoNotSlowTheNextOne)
{
    const auto timedLogin = [&](const QString& user, const QString& password) {
        RawPop3 pop(server);
        const auto start = std::chrono::steady_clock::now();
        pop.command("USER " + user.toUtf8());
        const QByteArray reply = pop.command("PASS " + password.toUtf8());
        return std::pair{reply, std::chrono::steady_clock::now() - start};
    };
    for (int attempt = 0; attempt < 4; ++attempt) {
        const auto [reply, took] = timedLogin(mailbox.user(), "wrong");
        EXPECT_EQ(reply, "-ERR [AUTH] Authentication failed.") << "attempt " << attempt;
        EXPECT_LT(took, 1s) << "attempt " << attempt;
    }
    const auto [unknown, unknownTook] = timedLogin("nobody-" + mailbox.user(), "x");
    EXPECT_TRUE(unknown.startsWith("-ERR"));
    EXPECT_LT(unknownTook, 1s);

    const auto [good, took] = timedLogin(mailbox.user(), mailbox.password());
    EXPECT_TRUE(good.startsWith("+OK"));
    EXPECT_LT(took, 500ms);
}

TEST_F(DovecotFixture, ListAndStatCountLineEndsAsCrLfAndIgnoreDotStuffing)
{
    QList<qint64> sizes{1023, 1024, 65535, 65536};
    // Every remainder a message's last lines can leave, around the smallest generated size.
    for (qint64 size = 200; size < 300; ++size) {
        sizes << size;
    }
    QList<QByteArray> stored;
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        stored << makeMessageOfSize(sizes[i], int(i));
        ASSERT_EQ(pop3Size(stored.last()), sizes[i]);
        mailbox.addMessage(stored.last());
    }

    RawPop3 pop(server, mailbox.user(), mailbox.password());
    EXPECT_EQ(pop.list().values(), sizes);
    EXPECT_EQ(pop.stat(),
              (std::pair<int, qint64>{int(sizes.size()),
                                      std::accumulate(sizes.cbegin(), sizes.cend(), qint64(0))}));
    for (qsizetype i = 0; i < stored.size(); ++i) {
        ASSERT_EQ(pop.retrBody(int(i) + 1), pop3Body(stored[i])) << "message " << i + 1;
    }
    // The generator must really produce what the size and body checks above are about.
    const QByteArray large = pop.retrBody(4);
    EXPECT_TRUE(large.contains("\r\n..")) << "no dot-stuffed line";
    EXPECT_TRUE(std::any_of(large.cbegin(), large.cend(), [](char c) { return c & 0x80; }));
    EXPECT_FALSE(large.contains("\n\n")) << "a bare LF was sent";
    pop.quit();
}

TEST_F(DovecotFixture, RetrAndTopSendCrLfDotStuffedAndEightBitClean)
{
    mailbox.addMessage("Subject: a\n\n.line\n..two\n\xe9\xff\x80\n.\nend\n");
    mailbox.addStoredMessage("Subject: b\n\nno final line end");
    mailbox.addStoredMessage("Subject: c\r\n\r\nstored with CR LF\r\n");
    mailbox.addMessage("Subject: d\n\n");

    RawPop3 pop(server, mailbox.user(), mailbox.password());
    EXPECT_EQ(pop.list().values(), (QList<qint64>{41, 31, 33, 14}));
    EXPECT_EQ(pop.retrBody(1), "Subject: a\r\n\r\n..line\r\n...two\r\n\xe9\xff\x80\r\n..\r\nend");
    // Dovecot ends an unterminated last line itself before the final ".".
    EXPECT_EQ(pop.retrBody(2), "Subject: b\r\n\r\nno final line end");
    EXPECT_EQ(pop.retrBody(3), "Subject: c\r\n\r\nstored with CR LF");
    EXPECT_EQ(pop.retrBody(4), "Subject: d\r\n");
    EXPECT_EQ(pop.top(1, 0), "Subject: a\r\n");
    EXPECT_EQ(pop.top(1, 2), "Subject: a\r\n\r\n..line\r\n...two");
    pop.quit();
}

TEST_F(DovecotFixture, DeleRemovesTheFileOnlyAfterQuit)
{
    const QByteArray first = mailbox.addMessage("Subject: one\n\nfirst\n");
    const QByteArray second = mailbox.addMessage("Subject: two\n\nsecond\n");
    {
        RawPop3 dropped(server, mailbox.user(), mailbox.password());
        dropped.dele(1);
    }
    {
        RawPop3 pop(server, mailbox.user(), mailbox.password());
        EXPECT_EQ(pop.uidl().values(), (QList<QByteArray>{first, second}));
        pop.dele(1);
        EXPECT_EQ(pop.uidl().keys(), QList<int>{2});
        pop.quit();
    }
    EXPECT_FALSE(mailbox.containsMessage(first));
    EXPECT_TRUE(mailbox.containsMessage(second));
    EXPECT_EQ(mailbox.messageCount(), 1);
}

TEST(RawPop3Client, GivesUpOnASilentServerAtItsDeadline)
{
    // The kernel completes the connection from the backlog; nobody ever answers it.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(RawPop3("127.0.0.1", silent.serverPort(), 300ms), DovecotError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

int runScript(const QStringList& arguments, QByteArray* errors = nullptr)
{
    QProcess script;
    script.start(VORLANE_DOVECOT_FIXTURE_SCRIPT, arguments);
    if (!script.waitForFinished(30000)) {
        script.kill();
        script.waitForFinished();
        return -1;
    }
    if (errors != nullptr) {
        *errors = script.readAllStandardError();
    }
    return script.exitCode();
}

// Processes of a group that still run; zombies hold nothing and do not count.
int runningInGroup(pid_t group)
{
    int count = 0;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + entry + "/stat");
        if (entry.toInt() == 0 || !stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[0] != "Z" && fields[2].toInt() == group) {
            ++count;
        }
    }
    return count;
}

QString scratchState(const char* name)
{
    return QStringLiteral("%1/dovecot/%2-%3").arg(VORLANE_BINARY_DIR).arg(name).arg(getpid());
}

TEST(FixtureScript, StopEndsEveryProcessAndARestartServesAgain)
{
    const QString state = scratchState("restart");
    ASSERT_EQ(runScript({"start", state}), 0);
    const DovecotServer first(state);
    const Mailbox mailbox = first.createMailbox(currentTestName());
    RawPop3 session(first, mailbox.user(), mailbox.password());
    QFile pidFile(state + "/master.pid");
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const pid_t master = pidFile.readAll().trimmed().toInt();
    EXPECT_GE(runningInGroup(master), 4) << "master, log, config, anvil, auth and the session";

    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(runScript({"stop", state}), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(runningInGroup(master), 0);
    EXPECT_FALSE(QFile::exists(state + "/master.pid"));
    EXPECT_THROW(session.stat(), DovecotError);
    EXPECT_EQ(runScript({"stop", state}), 0) << "stopping a stopped fixture must succeed";

    ASSERT_EQ(runScript({"start", state}), 0);
    const DovecotServer second(state);
    const Mailbox fresh = second.createMailbox(currentTestName());
    RawPop3(second, fresh.user(), fresh.password()).quit();
    EXPECT_EQ(runScript({"stop", state}), 0);
    EXPECT_FALSE(QFileInfo::exists(state)) << "stop leaves nothing behind";
}

// A checkout in a home that others cannot search: the server's unprivileged processes must still
// reach their state.
TEST(FixtureScript, ServesFromAFolderOthersCannotSearch)
{
    QTemporaryDir home; // 0700, as recent desktop distributions make homes
    ASSERT_TRUE(QFile::setPermissions(
        home.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    const QString state = home.filePath("checkout/build/dovecot/private");
    QByteArray errors;
    ASSERT_EQ(runScript({"start", state}, &errors), 0) << errors.toStdString();
    const DovecotServer server(state);
    const Mailbox mailbox = server.createMailbox(currentTestName());
    const QByteArray id = mailbox.addMessage(makeMessage({"Subject: private"}, "body\n"));
    RawPop3 pop(server, mailbox.user(), mailbox.password());
    EXPECT_EQ(pop.uidl().values(), QList<QByteArray>{id});
    pop.quit();
    EXPECT_EQ(runScript({"stop", state}), 0);
}

TEST(FixtureScript, FailsClearlyWhenDovecotCannotStart)
{
    const DovecotServer server = DovecotServer::fromEnvironment();
    const QString state = scratchState("busy");
    QByteArray errors;
    EXPECT_NE(
        runScript({"start", state, server.address(), QString::number(server.port())}, &errors), 0);
    EXPECT_TRUE(errors.contains("Address already in use")) << errors.toStdString();
    EXPECT_FALSE(QFile::exists(state + "/master.pid"));

    QProcess noDovecot;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("PATH", "/usr/bin:/bin");
    noDovecot.setProcessEnvironment(environment);
    noDovecot.start(VORLANE_DOVECOT_FIXTURE_SCRIPT, {"start", state});
    ASSERT_TRUE(noDovecot.waitForFinished(30000));
    EXPECT_NE(noDovecot.exitCode(), 0);
    EXPECT_TRUE(noDovecot.readAllStandardError().contains("dovecot not found"));
    EXPECT_EQ(runScript({"stop", state}), 0);
}

TEST(Port110, SecondLoopbackAddressOnThePop3Port)
{
    const DovecotServer server = DovecotServer::fromEnvironment();
    EXPECT_EQ(server.address(), VORLANE_PORT110_ADDRESS);
    EXPECT_EQ(server.port(), 110);
    const Mailbox mailbox = server.createMailbox(currentTestName());
    const QByteArray id = mailbox.addMessage(makeMessage({"Subject: hello"}, "body\n"));
    RawPop3 pop(server, mailbox.user(), mailbox.password());
    EXPECT_EQ(pop.uidl().values(), QList<QByteArray>{id});
    pop.quit();
}

} // namespace
