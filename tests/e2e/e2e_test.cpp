// The built programs end to end, as a person meets them: Orsel01 and settings in a program
// folder of their own, a real X server (Xvfb), a real Dovecot on port 110, and every message box
// answered with xdotool.
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/testmessage.h"
#include "tests/support/testmail.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const QByteArray kTestString =
    "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

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
        m_xvfb.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                             QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp")});
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

    explicit InstalledScanner(Registration registration = Registration::Registered)
    {
        for (const char* file : {ORSEL01_PATH, SETTINGS_PATH, DEFDAT_PATH}) {
            const QString source = QString::fromLocal8Bit(file);
            QFile::copy(source, m_folder.filePath(QFileInfo(source).fileName()));
        }
        QFile::setPermissions(m_folder.path(), QFile::Permissions(0x7755));
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_config.path());
        m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_config.path());
        m_environment.insert(QStringLiteral("DISPLAY"), VirtualDisplay::display());
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

    void storeSettings(const QString& address, const QString& user, const QString& pass,
                       const QStringList& more = {})
    {
        ASSERT_EQ(
            runTool(QStringList{program("settings"), QStringLiteral("--address"), address,
                                QStringLiteral("--user"), user, QStringLiteral("--pass"), pass} +
                        more,
                    m_environment),
            0);
    }
    void start()
    {
        m_scanner.setProcessEnvironment(m_environment);
        m_scanner.setWorkingDirectory(m_folder.path());
        m_scanner.start(program("Orsel01"), {});
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
    ASSERT_EQ(runTool({fixture, QStringLiteral("start"), state, QStringLiteral("127.0.0.3"),
                       QStringLiteral("110")},
                      environment),
              0);
    const dovecot::DovecotServer own(state);
    const dovecot::Mailbox box = own.createMailbox(QStringLiteral("killed"));
    box.addMessage(cleanMessage(1));
    box.addMessage(dovecot::makeMessageOfSize(400 * 1024, 3));
    box.addMessage(cleanMessage(3));
    InstalledScanner scanner;
    scanner.storeSettings(QStringLiteral("127.0.0.3"), box.user(), box.password());
    scanner.start();
    // The size prompt holds the run with message 2 selected: kill the server now.
    EXPECT_TRUE(scanner.windowAppears(QStringLiteral("Alert!"), 20000));
    runTool({fixture, QStringLiteral("stop"), state}, environment);
    EXPECT_TRUE(scanner.answerWindow(QStringLiteral("Alert!"), QStringLiteral("Return")));
    EXPECT_TRUE(scanner.answerWindow(QStringLiteral("Error"), QStringLiteral("Return")));
    EXPECT_EQ(scanner.waitForEnd(20000), 1);
    EXPECT_EQ(box.messageCount(), 3);
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

TEST_F(EndToEnd, BothEnginesFindWhatTheRawCheckCannotSee)
{
    // The test text base64-encoded in one message and deflated in a zip in another: the decoded
    // check finds the first, ClamAV with a database written here the second.
    QTemporaryDir database;
    QFile signatures(database.filePath(QStringLiteral("tiny.hdb")));
    ASSERT_TRUE(signatures.open(QIODevice::WriteOnly));
    signatures.write(testmail::eicarHashDatabase("Orsel.Test.EICAR"));
    signatures.close();
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
