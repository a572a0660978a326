// The desktop around unattended scans, with the real parts a user's session has: notifications
// shown by dunst on a private session bus, the password in gnome-keyring, and several accounts
// each scanned by the command of its own timer unit, against the Dovecot on port 110.
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/testmessage.h"
#include "tests/e2e/desktopsession.h"
#include "tests/e2e/installedscanner.h"
#include "tests/support/clamdserver.h"
#include "tests/support/filebytes.h"
#include "tests/support/waitfor.h"

#include <QDirIterator>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

const QByteArray kTestString =
    "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

QByteArray cleanMessage(int n)
{
    return dovecot::makeMessage(
        {"From: Friend <friend@example.org>", "Subject: hello " + QByteArray::number(n)},
        "Just a friendly note.\n");
}

// The sender's name as an encoded word (RFC 2047), as mail clients send names beyond ASCII.
QByteArray infectedMessage()
{
    return dovecot::makeMessage(
        {"From: =?UTF-8?Q?=C3=84nne_Meier?= <anne@example.org>", "Subject: Your invoice"},
        "Please open:\n" + kTestString + "\n");
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "Dovecot on port 110 needs root";
        }
        ASSERT_FALSE(bus.address().isEmpty()) << "dbus-daemon did not start";
    }

    // An installed scanner on this session's bus, with the settings of `box`.
    std::unique_ptr<InstalledScanner> scannerFor(const dovecot::Mailbox& box,
                                                 const QStringList& more = {})
    {
        auto scanner = std::make_unique<InstalledScanner>(
            InstalledScanner::Registration::Registered, InstalledScanner::Display::None);
        scanner->useSessionBus(bus.address());
        scanner->storeSettings(server.address(), box.user(), box.password(), more);
        return scanner;
    }

    QString mailbox(const dovecot::Mailbox& box) const
    {
        return box.user() + QStringLiteral(" at ") + server.address();
    }

    dovecot::DovecotServer server = dovecot::DovecotServer::fromEnvironment();
    PrivateSessionBus bus;
};

class Notifications : public Desktop {
protected:
    void SetUp() override
    {
        Desktop::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        ASSERT_TRUE(dunst.isRunning()) << "dunst did not start";
    }

    NotificationServer dunst{bus, VirtualDisplay::display(), QStringLiteral(ICON_FOLDER)};
};

TEST_F(Notifications, HeadlessRunsTellTheDesktopWhatNeedsAttention)
{
    ClamdServer clamd({QStringLiteral("StreamMaxLength 1M")});
    QString why;
    ASSERT_TRUE(clamd.start(&why)) << qPrintable(why);
    const DescriptorlessRelay relay(clamd.socket());
    ASSERT_FALSE(relay.socket().isEmpty()) << "the relay did not start";
    const QString unchecked = QStringLiteral("The ClamAV daemon at %1 answered \"INSTREAM size "
                                             "limit exceeded. ERROR\"")
                                  .arg(relay.socket());
    const QString removed = QStringLiteral("Removed: Änne Meier <anne@example.org>, \"Your "
                                           "invoice\": ") +
                            QString::fromLatin1(kTestString);
    const struct {
        const char* name;
        QList<QByteArray> messages;
        QStringList arguments;
        QStringList settings;
        bool wrongPassword;
        bool onTheBus;
        int exitCode;
        QString summary; // "" for none
        QString urgency;
        QStringList body; // after the line naming the mailbox
    } cases[] = {
        {"infected",
         {cleanMessage(1), infectedMessage()},
         {},
         {},
         false,
         true,
         4,
         "Infected mail removed",
         "critical",
         {removed}},
        {"not fully checked",
         {dovecot::makeMessageOfSize(1536 * 1024, 1)},
         {"--max-size", "4000"},
         {"--clamav", "clamd:" + relay.socket()},
         false,
         true,
         5,
         "Some mail was not fully checked",
         "normal",
         {"Not fully checked: Sender <sender@example.test>, \"Message of 1572864-1 octets\": " +
          unchecked}},
        {"failed",
         {cleanMessage(1)},
         {},
         {},
         true,
         true,
         1,
         "Mail scan failed",
         "normal",
         {"Error received from PASS command: -ERR [AUTH] Authentication failed."}},
        {"clean", {cleanMessage(1), cleanMessage(2)}, {}, {}, false, true, 0, "", "", {}},
        {"turned off", {infectedMessage()}, {"--no-notify"}, {}, false, true, 4, "", "", {}},
        {"no session bus", {infectedMessage()}, {}, {}, false, false, 4, "", "", {}},
    };
    int lastId = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const dovecot::Mailbox box = server.createMailbox(QStringLiteral("notify"));
        for (const QByteArray& message : c.messages) {
            box.addMessage(message);
        }
        const std::unique_ptr<InstalledScanner> scanner = scannerFor(box, c.settings);
        if (c.wrongPassword) {
            scanner->storeSettings(server.address(), box.user(), QStringLiteral("wrong"));
        }
        if (!c.onTheBus) {
            // As the tests' own environment has it: an address that leads nowhere.
            scanner->useSessionBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"));
        }
        scanner->start(QStringList{QStringLiteral("--headless")} + c.arguments);
        // The notification is sent before the program ends: no waiting after it.
        EXPECT_EQ(scanner->waitForEnd(60000), c.exitCode) << scanner->errors().constData();
        const QList<ShownNotification> shown = dunst.closeAllAndTakeHistory(lastId);
        if (c.summary.isEmpty()) {
            EXPECT_TRUE(shown.isEmpty()) << qPrintable(shown.value(0).summary);
            continue;
        }
        ASSERT_EQ(shown.size(), 1);
        lastId = shown[0].id;
        EXPECT_EQ(shown[0].appName, "Orsel");
        EXPECT_EQ(shown[0].summary, c.summary);
        EXPECT_EQ(shown[0].urgency, c.urgency);
        EXPECT_EQ(shown[0].category, "email");
        EXPECT_EQ(shown[0].iconPath, QStringLiteral(ICON_FOLDER "/orsel01.svg"));
        // dunst reads markup: what the mail says arrives escaped, and shows as sent.
        EXPECT_EQ(shown[0].body.toStdString(),
                  (QStringList{mailbox(box)} + c.body).join('\n').toHtmlEscaped().toStdString());
        std::printf("[%s] %s\n%s\n", c.name, qPrintable(shown[0].summary),
                    qPrintable(QStringList{mailbox(box)}.join('\n') + '\n' + c.body.join('\n')));
    }
}

// The run ends at once; the notification waits, in a helper process, for the click that opens
// the quarantine folder, and the helper ends with it.
TEST_F(Notifications, QuarantineNotificationOpensTheFolderWhenClicked)
{
    const dovecot::Mailbox box = server.createMailbox(QStringLiteral("clicked"));
    box.addMessage(infectedMessage());
    const std::unique_ptr<InstalledScanner> scanner = scannerFor(box);
    // xdg-open as a desktop has it, but writing down what it was asked to open.
    QTemporaryDir tools;
    const QString opened = tools.filePath(QStringLiteral("opened"));
    QFile stub(tools.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(stub.open(QIODevice::WriteOnly));
    stub.write("#!/bin/sh\nprintf '%s' \"$1\" > '" + QFile::encodeName(opened) + "'\n");
    stub.close();
    stub.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    scanner->setVariable(QStringLiteral("PATH"),
                         tools.path() + QLatin1Char(':') + qEnvironmentVariable("PATH"));
    const QList<qint64> before = bus.clientPids();
    const QString quarantine = tools.filePath(QStringLiteral("quarantine"));

    scanner->start({QStringLiteral("--headless"), QStringLiteral("--quarantine"), quarantine});
    EXPECT_EQ(scanner->waitForEnd(60000), 4);
    ASSERT_TRUE(waitFor([this] { return dunst.displayedCount() == 1; }, 10000));
    QList<qint64> helpers = bus.clientPids();
    for (qint64 pid : before) {
        helpers.removeAll(pid);
    }
    ASSERT_EQ(helpers.size(), 1) << "one helper waits for the click";
    ASSERT_TRUE(dunst.invokeDefaultAction());
    EXPECT_TRUE(waitFor([&] { return QFile::exists(opened); }, 10000));
    EXPECT_EQ(fileBytes(opened), QFile::encodeName(quarantine));
    const bool ended = waitFor([&] { return !bus.clientPids().contains(helpers[0]); }, 10000);
    EXPECT_TRUE(ended) << "the helper did not end after the click";
    if (!ended) {
        ::kill(pid_t(helpers[0]), SIGKILL);
    }
    const QList<ShownNotification> shown = dunst.closeAllAndTakeHistory();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0].summary, "Infected mail removed");
}

// The settings program puts the password in the keyring and only "PassStore=keyring" in the
// file; the scanner reads it from there; a locked keyring ends a headless run at once.
TEST_F(Desktop, PasswordLivesInTheKeyring)
{
    TestKeyring keyring(bus, "keyring-password");
    ASSERT_TRUE(keyring.isRunning()) << "gnome-keyring-daemon did not start";
    const dovecot::Mailbox box = server.createMailbox(QStringLiteral("keyring"));
    box.addMessage(cleanMessage(1));
    const std::unique_ptr<InstalledScanner> scanner = scannerFor(box);
    const QByteArray settingsFile =
        fileBytes(scanner->configFolder() + QStringLiteral("/Orsel/Orsel.conf"));
    EXPECT_TRUE(settingsFile.contains("PassStore=keyring\n")) << settingsFile.constData();
    EXPECT_FALSE(settingsFile.contains("Pass=")) << settingsFile.constData();
    EXPECT_EQ(keyring.lookup({QStringLiteral("server"), QStringLiteral("Orsel"),
                              QStringLiteral("user"), QStringLiteral("Settings")}),
              box.password().toUtf8());

    scanner->start({QStringLiteral("--headless"), QStringLiteral("--remember")});
    EXPECT_EQ(scanner->waitForEnd(30000), 0) << scanner->errors().constData();
    EXPECT_TRUE(scanner->output().contains(", 1 checked,")) << scanner->output().constData();
    // Nowhere in the scanner's files.
    for (const QString& folder : {scanner->configFolder(), scanner->folder()}) {
        QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString file = files.next();
            EXPECT_FALSE(fileBytes(file).contains(box.password().toUtf8())) << qPrintable(file);
        }
    }

    ASSERT_TRUE(keyring.lock());
    QElapsedTimer timer;
    timer.start();
    scanner->start({QStringLiteral("--headless")});
    EXPECT_EQ(scanner->waitForEnd(20000), 1);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(scanner->errors().toStdString(),
              "Error: The password could not be read from the keyring: the keyring that holds "
              "it is locked, and a scan without a window does not ask to unlock it.\n");
    EXPECT_EQ(box.messageCount(), 1);
}

// Each account has the keys, saved files and memory of its own, and the command its timer unit
// runs scans it and nothing else.
TEST_F(Desktop, TwoAccountsEachScannedByTheCommandOfItsTimerUnit)
{
    const dovecot::Mailbox work = server.createMailbox(QStringLiteral("work"));
    const QByteArray infected = work.addMessage(infectedMessage());
    work.addMessage(cleanMessage(2));
    const dovecot::Mailbox home = server.createMailbox(QStringLiteral("home"));
    home.addMessage(cleanMessage(1));
    const std::unique_ptr<InstalledScanner> scanner = scannerFor(home);
    scanner->storeSettings(server.address(), work.user(), work.password(),
                           {QStringLiteral("--account"), QStringLiteral("work")});
    scanner->storeSettings(server.address(), home.user(), home.password(),
                           {QStringLiteral("--account"), QStringLiteral("home")});

    const QByteArray unit = fileBytes(QStringLiteral(UNIT_FOLDER "/orsel-scan@.service.in"));
    const QRegularExpressionMatch execStart =
        QRegularExpression(QStringLiteral("^ExecStart=@ORSEL_BIN_DIR@/orsel01 (.*)$"),
                           QRegularExpression::MultilineOption)
            .match(QString::fromUtf8(unit));
    ASSERT_TRUE(execStart.hasMatch()) << unit.constData();
    const auto arguments = [&](const char* account) {
        return execStart.captured(1)
            .replace(QStringLiteral("%i"), QLatin1String(account))
            .split(' ');
    };
    EXPECT_EQ(arguments("work"), (QStringList{"--headless", "--remember", "--account", "work"}));
    EXPECT_TRUE(
        fileBytes(QStringLiteral(UNIT_FOLDER "/orsel-scan@.timer")).contains("OnCalendar="));

    scanner->start(arguments("work"));
    EXPECT_EQ(scanner->waitForEnd(30000), 4) << scanner->errors().constData();
    scanner->start(arguments("home"));
    EXPECT_EQ(scanner->waitForEnd(30000), 0) << scanner->errors().constData();
    EXPECT_FALSE(work.containsMessage(infected));
    EXPECT_EQ(work.messageCount(), 1);
    EXPECT_EQ(home.messageCount(), 1);
    const QString accounts = scanner->folder() + QStringLiteral("/accounts/");
    EXPECT_EQ(QDir(accounts + "work").entryList(QDir::Files),
              (QStringList{"msg1.txt", "msg2.txt"}));
    EXPECT_EQ(QDir(accounts + "home").entryList(QDir::Files), QStringList{"msg1.txt"});
    EXPECT_TRUE(fileBytes(accounts + "home/msg1.txt").contains("Subject: hello 1"));
    EXPECT_FALSE(QFile::exists(scanner->savedFile(1))) << "the default account's place";
    EXPECT_EQ(QDir(scanner->stateFolder()).entryList(QDir::Files).size(), 2);

    // Each remembers its own: a second round fetches nothing.
    for (const char* account : {"work", "home"}) {
        scanner->start(arguments(account));
        EXPECT_EQ(scanner->waitForEnd(30000), 0) << account;
        EXPECT_TRUE(scanner->output().contains(", 0 checked, 0 skipped by size, 1 remembered"))
            << account << scanner->output().constData();
    }
}

} // namespace
