// The built programs end to end, as a person meets them: Orsel01 and settings in a program
// folder of their own, a real X server (Xvfb), a real Dovecot on port 110, and every message box
// answered with xdotool.
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/testmessage.h"
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

// One X server for the whole run, on a display it picks itself; stopped by its PID.
class VirtualDisplay : public ::testing::Environment {
public:
    static QString display() { return s_display; }

    void SetUp() override
    {
        if (::geteuid() != 0) {
            return; // the tests skip themselves
        }
        m_xvfb.setProgram(QStringLiteral("Xvfb"));
        // -noreset: an X server resets when its last client leaves and refuses whoever connects
        // meanwhile. The scanner leaves just as the settings program it started connects; on a
        // desktop the session keeps the server up.
        m_xvfb.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                             QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp"), QStringLiteral("-noreset")});
        m_xvfb.start();
        ASSERT_TRUE(m_xvfb.waitForStarted(5000)) << "Xvfb is needed (Debian package xvfb)";
        QElapsedTimer timer;
        timer.start();
        while (!m_xvfb.canReadLine() && timer.elapsed() < 10000) {
            m_xvfb.waitForReadyRead(200);
        }
        s_display = QStringLiteral(":") + QString::fromLatin1(m_xvfb.readLine().trimmed());
        ASSERT_NE(s_display, QStringLiteral(":"));
    }
    void TearDown() override
    {
        if (m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.kill(); // by its PID
            m_xvfb.waitForFinished(5000);
        }
    }

private:
    QProcess m_xvfb;
    static inline QString s_display;
};

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new VirtualDisplay);

int runTool(const QStringList& command, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(command.first(), command.mid(1));
    process.waitForFinished(30000);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// Orsel01 installed in a program folder of its own, with its own settings and class registry.
class InstalledScanner {
public:
    enum class Registration { Registered, Unregistered };
    // None: no X display and no platform plugin setting at all, as under cron.
    enum class Display { Virtual, None };

    explicit InstalledScanner(Registration registration = Registration::Registered,
                              Display display = Display::Virtual)
    {
        copyProgramWithModules(QStringLiteral(ORSEL01_PATH), m_folder.path());
        for (const char* file : {SETTINGS_PATH, DEFDAT_PATH}) {
            const QString source = QString::fromLocal8Bit(file);
            QFile::copy(source, m_folder.filePath(QFileInfo(source).fileName()));
        }
        QFile::setPermissions(m_folder.path(), QFile::Permissions(0x7755));
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_config.path());
        m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_config.path());
        m_environment.insert(QStringLiteral("XDG_STATE_HOME"),
                             m_config.filePath(QStringLiteral("state")));
        if (display == Display::Virtual) {
            m_environment.insert(QStringLiteral("DISPLAY"), VirtualDisplay::display());
        } else {
            m_environment.remove(QStringLiteral("DISPLAY"));
            m_environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        }
        m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        if (registration == Registration::Registered) {
            EXPECT_EQ(
                runTool({QStringLiteral(REGSVR_PATH), QStringLiteral(VRLN401_PATH)}, m_environment),
                0);
        }
    }
    ~InstalledScanner()
    {
        if (m_scanner.state() != QProcess::NotRunning) {
            m_scanner.kill();
            m_scanner.waitForFinished(5000);
        }
    }

    // Fresh settings default to TLS; the scans here use the plain port 110 unless they say
    // otherwise.
    void storeSettings(const QString& address, const QString& user, const QString& pass,
                       QStringList more = {})
    {
        if (!more.contains(QStringLiteral("--security"))) {
            more << QStringLiteral("--security") << QStringLiteral("none");
        }
        ASSERT_EQ(
            runTool(QStringList{program("settings"), QStringLiteral("--address"), address,
                                QStringLiteral("--user"), user, QStringLiteral("--pass"), pass} +
                        more,
                    m_environment),
            0);
    }
    void setVariable(const QString& name, const QString& value)
    {
        m_environment.insert(name, value);
    }
    void start(const QStringList& arguments = {})
    {
        m_output.clear(); // each run's own
        m_scanner.setProcessEnvironment(m_environment);
        m_scanner.setWorkingDirectory(m_folder.path());
        m_scanner.start(program("Orsel01"), arguments);
        ASSERT_TRUE(m_scanner.waitForStarted(5000));
    }
    // Waits for the program to end; its exit code, or -1 when it did not end in time.
    int waitForEnd(int ms)
    {
        if (!m_scanner.waitForFinished(ms)) {
            return -1;
        }
        m_output += m_scanner.readAllStandardOutput();
        return m_scanner.exitCode();
    }
    QByteArray errors() { return m_scanner.readAllStandardError(); }
    QByteArray output()
    {
        m_output += m_scanner.readAllStandardOutput();
        return m_output;
    }
    bool waitForOutput(const QByteArray& text, int ms)
    {
        QElapsedTimer timer;
        timer.start();
        while (!output().contains(text)) {
            if (timer.elapsed() > ms || m_scanner.state() == QProcess::NotRunning) {
                return output().contains(text);
            }
            m_scanner.waitForReadyRead(100);
        }
        return true;
    }
    // Finds the window titled exactly `title` and presses `key` in it, as a person would.
    bool answerWindow(const QString& title, const QString& key, int ms = 20000)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            QProcess search;
            search.setProcessEnvironment(m_environment);
            search.start(QStringLiteral("xdotool"),
                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                          QStringLiteral("--name"), QLatin1Char('^') + title + QLatin1Char('$')});
            search.waitForFinished(5000);
            const QByteArray window = search.readAllStandardOutput().split('\n').value(0);
            if (!window.isEmpty()) {
                return runTool({QStringLiteral("xdotool"), QStringLiteral("windowfocus"),
                                QStringLiteral("--sync"), QString::fromLatin1(window),
                                QStringLiteral("key"), QStringLiteral("--clearmodifiers"), key},
                               m_environment) == 0;
            }
            QThread::msleep(100); // polling another process's windows: no event to wait on
        }
        return false;
    }
    bool windowAppears(const QString& title, int ms) { return answerWindow(title, {}, ms); }
    QString savedFile(int n) const { return m_folder.filePath(QStringLiteral("msg%1.txt").arg(n)); }
    QString programFile(const QString& name) const { return m_folder.filePath(name); }
    QString stateFolder() const { return m_config.filePath(QStringLiteral("state/Orsel")); }

private:
    QString program(const char* name) const { return m_folder.filePath(QString::fromLatin1(name)); }

    QTemporaryDir m_folder;
    QTemporaryDir m_config;
    QProcessEnvironment m_environment;
    QProcess m_scanner;
    QByteArray m_output;
};

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
    box.addMessage(infectedMessage());
    InstalledScanner scanner(InstalledScanner::Registration::Registered,
                             InstalledScanner::Display::None);
    // def.dat as a FIFO holds the run after message 1 is saved, until this test writes it.
    const QString definitions = scanner.programFile(QStringLiteral("def.dat"));
    QFile::remove(definitions);
    ASSERT_EQ(::mkfifo(QFile::encodeName(definitions).constData(), 0600), 0);
    scanner.storeSettings(loopbackAddress(53), box.user(), box.password());
    scanner.start({QStringLiteral("--headless")});
    EXPECT_TRUE(scanner.waitForOutput("Scanning message no: 1...\n\n100% Completed.", 20000));
    runTool({fixture, QStringLiteral("kill"), state}, environment);
    QFile fifo(definitions);
    ASSERT_TRUE(fifo.open(QIODevice::WriteOnly));
    fifo.write(kTestString + "\r\n");
    fifo.close();
    EXPECT_EQ(scanner.waitForEnd(30000), 1);
    EXPECT_TRUE(scanner.errors().startsWith("Error: ")) << scanner.errors().constData();
    EXPECT_EQ(box.messageCount(), 2);
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
                                 QStringLiteral("Orsel01clamav.so")};
    const struct {
        const char* name;
        bool headless;
        QStringList settings;
        QStringList removed; // module files taken from the program's folder
        int exitCode;
        QByteArray error; // on standard error
        QList<QByteArray> loaded;
        QList<QByteArray> notLoaded;
    } cases[] = {
        {"definition check alone, no module there",
         true,
         noDecode,
         allModules,
         0,
         {},
         {},
         {"libQt6Gui", "libQt6Widgets", "libgmime", "libclamav"}},
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const dovecot::Mailbox box = mailbox("modules");
        box.addMessage(cleanMessage(1));
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
