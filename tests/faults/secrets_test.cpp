// Secrets: the mailbox password appears in no trace, saved message or program output, and the
// settings program keeps the file that stores it private to its owner.
#include "control/vorlane.h"
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/rawpop3.h"
#include "tests/dovecot/testmessage.h"
#include "tests/support/filebytes.h"
#include "tests/support/programcopy.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Distinctive, so that finding it anywhere can only mean it leaked.
const QString kPassword = QStringLiteral("Quokka-7f3c9a61-Passwort");

const QList<QByteArray> kMessages = {
    dovecot::makeMessage({"From: a@example.test", "Subject: first"}, "Nothing to see here.\n"),
    dovecot::makeMessage({"From: b@example.test", "Subject: second"}, "Nor here.\n.\n"),
};

struct ProgramRun {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs a program to its end, at most timeoutMs; a program that overstays is killed by its PID.
ProgramRun runProgram(const QString& program, const QStringList& arguments,
                      const QString& configHome, int timeoutMs = 30000)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QFileInfo(program).absolutePath());
    process.start(program, arguments);
    ProgramRun run;
    if (!process.waitForStarted(timeoutMs)) {
        run.err = process.errorString().toUtf8();
        return run;
    }
    run.finished = process.waitForFinished(timeoutMs);
    if (!run.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// Every file below `folder` that holds `secret`.
QStringList filesHolding(const QString& folder, const QByteArray& secret)
{
    QStringList found;
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        if (fileBytes(file).contains(secret)) {
            found << file;
        }
    }
    return found;
}

mode_t permissionBits(const QString& path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

QString settingsFile(const QTemporaryDir& configHome)
{
    return configHome.filePath(QStringLiteral("Orsel/Orsel.conf"));
}

// The settings program in a shell whose umask would leave new files readable by everyone.
ProgramRun storeSettingsUnderUmask022(const QTemporaryDir& configHome, const QString& password)
{
    return runProgram(QStringLiteral("/bin/sh"),
                      {QStringLiteral("-c"), QStringLiteral("umask 022; exec \"$0\" \"$@\""),
                       QStringLiteral(SETTINGS_PATH), QStringLiteral("--address"),
                       QStringLiteral("127.0.0.1"), QStringLiteral("--user"),
                       QStringLiteral("someone"), QStringLiteral("--pass"), password},
                      configHome.path());
}

} // namespace

TEST(Secrets, TracedSessionWritesThePasswordNowhere)
{
    const dovecot::DovecotServer server = dovecot::DovecotServer::fromEnvironment();
    const dovecot::Mailbox mailbox =
        server.createMailbox(dovecot::DovecotServer::uniqueUserName(u"traced"), kPassword);
    for (const QByteArray& message : kMessages) {
        mailbox.addMessage(message);
    }
    QTemporaryDir dir;
    const QByteArray trace = QFile::encodeName(dir.filePath(QStringLiteral("trace.txt")));
    Vorlane pop;
    pop.setDebugMode(true);
    pop.setDebugFile(trace);
    pop.setPOPHostname(server.address().toLatin1());
    pop.setPOPPort(server.port());
    pop.setPOPUsername(mailbox.user().toUtf8());
    pop.setPOPPassword(kPassword.toUtf8());
    pop.Connect();
    ASSERT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
    for (qint16 n = 1; n <= 2; ++n) {
        pop.SetCurrentMsg(n);
        QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("msg%1.txt").arg(n)));
        pop.WriteCurrentMsgToFile(path);
        EXPECT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
        pop.RetrieveCurrentMsg();
        EXPECT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
    }
    pop.Disconnect();

    // A refused login traces its PASS too, and reports Dovecot's reply.
    Vorlane refused;
    refused.setDebugMode(true);
    refused.setDebugFile(trace);
    refused.setPOPHostname(server.address().toLatin1());
    refused.setPOPPort(server.port());
    refused.setPOPUsername("nobody-" + mailbox.user().toUtf8());
    refused.setPOPPassword(kPassword.toUtf8());
    refused.Connect();
    EXPECT_EQ(refused.Error(), 15);
    EXPECT_FALSE(refused.ErrorText().contains(kPassword.toUtf8()));

    const QByteArray text = fileBytes(QString::fromLocal8Bit(trace));
    EXPECT_EQ(text.count("Sending command:PASS ****"), 2) << "the trace should show the logins";
    EXPECT_TRUE(text.contains("Sending command:RETR 2"));
    EXPECT_EQ(filesHolding(dir.path(), kPassword.toUtf8()), QStringList());
}

TEST(Secrets, SettingsFileIsPrivateEvenUnderAPermissiveUmask)
{
    QTemporaryDir configHome;
    const ProgramRun stored = storeSettingsUnderUmask022(configHome, kPassword);
    ASSERT_TRUE(stored.finished);
    ASSERT_EQ(stored.exitCode, 0) << stored.err.constData();
    EXPECT_EQ(permissionBits(settingsFile(configHome)), mode_t(0600));
    EXPECT_FALSE(stored.out.contains(kPassword.toUtf8()));
    EXPECT_FALSE(stored.err.contains(kPassword.toUtf8()));
}

TEST(Secrets, SettingsFileLeftReadableIsMadePrivateWhenRewritten)
{
    QTemporaryDir configHome;
    ASSERT_TRUE(QDir(configHome.path()).mkpath(QStringLiteral("Orsel")));
    QFile older(settingsFile(configHome));
    ASSERT_TRUE(older.open(QIODevice::WriteOnly));
    older.write("[Settings]\nPass=old\n");
    older.close();
    ASSERT_EQ(::chmod(QFile::encodeName(older.fileName()).constData(), 0644), 0);
    const ProgramRun stored = storeSettingsUnderUmask022(configHome, kPassword);
    ASSERT_EQ(stored.exitCode, 0) << stored.err.constData();
    EXPECT_EQ(permissionBits(settingsFile(configHome)), mode_t(0600));
}

// The real scanner against the fixture on 127.0.0.2:110, since it always uses port 110. Its
// folder, where it saves messages and finds its definitions, is a temporary copy.
class SecretsPort110 : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root: Orsel01 always connects to port 110, where only a "
                            "root-started Dovecot fixture can listen";
        }
        server.emplace(dovecot::DovecotServer::fromEnvironment());
        ASSERT_EQ(server->port(), 110);
        mailbox.emplace(
            server->createMailbox(dovecot::DovecotServer::uniqueUserName(u"scanned"), kPassword));
        for (const QByteArray& message : kMessages) {
            mailbox->addMessage(message);
        }
        ASSERT_TRUE(copyProgramWithModules(QStringLiteral(ORSEL01_PATH), folder.path()));
        ASSERT_TRUE(QFile::copy(QStringLiteral(SETTINGS_PATH), settings));
        ASSERT_TRUE(QFile::copy(QStringLiteral(DEFINITIONS_PATH), folder.filePath("def.dat")));
        const ProgramRun registered = runProgram(QStringLiteral(REGSVR_PATH),
                                                 {QStringLiteral(VRLN401_PATH)}, configHome.path());
        ASSERT_EQ(registered.exitCode, 0) << registered.err.constData();
    }

    ProgramRun scanAs(const QString& user)
    {
        const ProgramRun stored =
            runProgram(settings,
                       {QStringLiteral("--address"), server->address(), QStringLiteral("--user"),
                        user, QStringLiteral("--pass"), kPassword, QStringLiteral("--security"),
                        QStringLiteral("none")},
                       configHome.path());
        EXPECT_EQ(stored.exitCode, 0) << stored.err.constData();
        const ProgramRun scan = runProgram(scanner, {}, configHome.path(), 60000);
        EXPECT_TRUE(scan.finished) << "Orsel01 did not end; output:\n" << scan.out.constData();
        return scan;
    }

    void expectThePasswordOnlyInTheSettingsFile(const ProgramRun& scan)
    {
        const QByteArray secret = kPassword.toUtf8();
        EXPECT_FALSE(scan.out.contains(secret));
        EXPECT_FALSE(scan.err.contains(secret));
        EXPECT_EQ(filesHolding(folder.path(), secret), QStringList());
        // The one place meant to hold it, readable by its owner only.
        EXPECT_EQ(filesHolding(configHome.path(), secret), QStringList{settingsFile(configHome)});
        EXPECT_EQ(permissionBits(settingsFile(configHome)), mode_t(0600));
    }

    std::optional<dovecot::DovecotServer> server;
    std::optional<dovecot::Mailbox> mailbox;
    QTemporaryDir folder;
    QTemporaryDir configHome;
    const QString scanner = folder.filePath(QStringLiteral("Orsel01"));
    const QString settings = folder.filePath(QStringLiteral("settings"));
};

TEST_F(SecretsPort110, ScanRunShowsThePasswordInNoOutputOrSavedFile)
{
    QList<QByteArray> sent;
    {
        dovecot::RawPop3 raw(*server, mailbox->user(), mailbox->password());
        sent = {raw.retrBody(1), raw.retrBody(2)};
    }
    const ProgramRun scan = scanAs(mailbox->user());
    EXPECT_EQ(scan.exitCode, 0) << scan.out.constData() << scan.err.constData();
    EXPECT_TRUE(scan.out.contains("Scan complete!")) << scan.out.constData();
    for (int n = 1; n <= 2; ++n) {
        EXPECT_TRUE(fileBytes(folder.filePath(QStringLiteral("msg%1.txt").arg(n))) == sent[n - 1])
            << "message " << n;
    }
    expectThePasswordOnlyInTheSettingsFile(scan);
}

TEST_F(SecretsPort110, RefusedLoginShowsThePasswordNowhere)
{
    const ProgramRun scan = scanAs(QStringLiteral("nobody-") + mailbox->user());
    EXPECT_EQ(scan.exitCode, 1) << scan.out.constData() << scan.err.constData();
    EXPECT_TRUE(scan.out.contains("Error received from PASS command")) << scan.out.constData();
    expectThePasswordOnlyInTheSettingsFile(scan);
}
