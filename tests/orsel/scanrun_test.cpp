// The scanner's window and run in-process against a scripted server on port 110 of a loopback
// address of each test's own, with the real control loaded from the shipped library.
#include "platform/automation/libraryentrypoints.h"
#include "platform/pump.h"
#include "scanner/controlhost.h"
#include "scanner/modgeneral.h"
#include "scanner/scan.h"
#include "scanner/scanrun.h"
#include "scanner/startup.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/filebytes.h"
#include "tests/support/testmail.h"
#include "tests/support/waitfor.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibrary>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The control comes from the shipped library through a registry of the tests' own.
class RegisteredLibrary : public ::testing::Environment {
public:
    void SetUp() override
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_config.path()));
        QLibrary library(QStringLiteral(VRLN401_PATH));
        ASSERT_TRUE(library.load()) << qPrintable(library.errorString());
        auto registerServer = reinterpret_cast<automation::DllRegisterServerFunction>(
            library.resolve("DllRegisterServer"));
        ASSERT_EQ(registerServer(), 0);
    }

private:
    QTemporaryDir m_config;
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new RegisteredLibrary);

struct Message {
    QByteArray text;  // header lines, blank line, body; lines end in CR LF
    int listSize = 0; // what LIST reports; 0: the text's size
    int hits = 0;     // DELE replies the server expects
};

QString sessionScript(const QList<Message>& messages, bool cancelled(int) = nullptr)
{
    QString script = QStringLiteral("S: +OK ready\nC:\nS: +OK\nC:\nS: +OK\nC:\nS: +OK %1 999\n")
                         .arg(messages.size());
    for (int n = 1; n <= messages.size(); ++n) {
        const Message& m = messages[n - 1];
        const int size = m.listSize ? m.listSize : int(m.text.size());
        script += QStringLiteral("C: UIDL %1\nS: +OK %1 id%1\nC: LIST %1\nS: +OK %1 %2\n")
                      .arg(n)
                      .arg(size);
        if (cancelled && cancelled(n)) {
            continue;
        }
        script += QStringLiteral("C: TOP %1 0\nS: +OK\nS: Subject: s\nS:\nS: .\nC: RETR %1\n"
                                 "S: +OK\\r\\n%2\\r\\n.\n")
                      .arg(n)
                      .arg(QString::fromLatin1(m.text)
                               .replace(QStringLiteral("\\"), QStringLiteral("\\\\"))
                               .replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n")));
        for (int h = 0; h < m.hits; ++h) {
            script += QStringLiteral("C: DELE %1\nS: +OK marked\n").arg(n);
        }
    }
    return script + QStringLiteral("C: QUIT\nS: +OK bye\nX:");
}

// Answers the next modal box as a person would, and remembers what it said.
struct BoxAnswerer {
    QMessageBox::StandardButton answer;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    int seen = 0;
    QStringList texts;
    QWidget* watched = nullptr;
    QList<bool> watchedOnTop; // per box: was the watched window topmost while it showed
    QTimer timer;

    explicit BoxAnswerer(QMessageBox::StandardButton button, QWidget* window = nullptr)
        : answer(button), watched(window)
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                return;
            }
            ++seen;
            texts.append(box->text());
            if (watched) {
                watchedOnTop.append(watched->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
            }
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            box->button(answer)->click();
        });
        timer.start(20);
    }
};

class ScanRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "binding port 110 needs root";
        }
        modGeneral::writeSettings({address(), QStringLiteral("bob"), QStringLiteral("pw")});
        modGeneral::writeEngineSettings({}); // only the three keys unless a test adds more
        writeDefinitions("X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*\r\n"
                         "evil payload\r\n");
        QObject::connect(&window, &Scan::infoChanged,
                         [this](const QString& text) { infos.append(text); });
    }

    // Each test its own loopback address, so tests may run side by side.
    virtual QString address() const = 0;

    void writeDefinitions(const QByteArray& content)
    {
        QFile file(folder.filePath(QStringLiteral("def.dat")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    ScanHooks hooks()
    {
        ScanHooks h = ScanHooks::real();
        h.pause = [this](int seconds) { pauses.append(seconds); };
        h.endProgram = [this](int code) { exitCode = code; };
        return h;
    }

    // Runs the scan against `server` to its end.
    void runScan(FakePop3Server& server) { runScan(server, ProgramFolder(folder.path())); }
    void runScan(FakePop3Server& server, const ProgramFolder& programFolder)
    {
        ASSERT_TRUE(server.isListening()) << "port 110 of " << qPrintable(address());
        ControlHost control;
        ScanRun run(window, control, modGeneral::readSettings(), programFolder, hooks());
        run.run();
        sent = server.received();
        // The real program ends without destroying the control; here it is destroyed, and must
        // not find a session to close.
        server.dropClient();
    }

    QByteArray saved(int n) const
    {
        return fileBytes(folder.filePath(QStringLiteral("msg%1.txt").arg(n)));
    }

    QTemporaryDir folder;
    Scan window;
    QStringList infos;
    QList<int> pauses;
    int exitCode = -1;
    QList<QByteArray> sent; // what the server got until the program ended
};

#define SCAN_TEST(name, addr)                                                                      \
    class name : public ScanRunTest {                                                              \
    protected:                                                                                     \
        QString address() const override { return QStringLiteral(addr); }                          \
    };                                                                                             \
    TEST_F(name, Run)

const QByteArray kClean = "Subject: hello\r\n\r\nNothing to see here.\r\nBye.";
const QByteArray kTwoHits = "Subject: bad\r\n\r\nline with EVIL PAYLOAD inside\r\nclean\r\n"
                            "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";

} // namespace

SCAN_TEST(CleanMailboxIsSavedAndNothingDeleted, "127.0.0.21")
{
    FakePop3Server server(address(), 110);
    server.script(sessionScript({{kClean}, {kClean}}));
    runScan(server);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(saved(1), kClean);
    EXPECT_EQ(saved(2), kClean);
    EXPECT_EQ(infos.first(), "Messages in mailbox: [2].");
    EXPECT_TRUE(infos.contains("Scanning message no: 1..."));
    EXPECT_TRUE(infos.contains("Scanning message no: 2...\r\r100% Completed."));
    EXPECT_TRUE(infos.contains("Scan of message 2 complete.\r\rNo viruses found."));
    EXPECT_EQ(infos.last(), "Scan complete!\r\rClosing in 3 seconds...");
    EXPECT_EQ(pauses, (QList<int>{3}));
    EXPECT_EQ(sent.last(), "QUIT");
    EXPECT_FALSE(sent.join('\n').contains("DELE"));
    EXPECT_EQ(window.lblInfo()->text(), "Scan complete!\n\nClosing in 3 seconds...");
}

SCAN_TEST(TwoHitsGiveTwoAlertsTwoDeletionsAndTwoPauses, "127.0.0.22")
{
    FakePop3Server server(address(), 110);
    server.script(sessionScript({{kTwoHits, 0, 2}}));
    runScan(server);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(pauses, (QList<int>{5, 5, 3}));
    EXPECT_EQ(sent.count("DELE 1"), 2);
    const QString folderText = folder.path();
    // Hits come in definition-file order: the test string first, then "evil payload".
    const QStringList alerts = infos.filter(QStringLiteral("Possible virus found!"));
    ASSERT_EQ(alerts.size(), 2);
    EXPECT_EQ(alerts[0],
              "Possible virus found!\r\rVirus Information:\rSearch String found in definition "
              "file\r[X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*]:"
              "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*\r\rThis "
              "E-Mail will now be deleted off the server. You can still view the contents of "
              "this message by viewing the " +
                  folderText + "/msg1.txt file.");
    EXPECT_TRUE(alerts[1].contains("[evil payload]:line with EVIL PAYLOAD inside"));
    EXPECT_FALSE(infos.filter(QStringLiteral("complete.\r\rNo viruses")).size());
}

SCAN_TEST(SizePromptFromThreeHundredAndOneK, "127.0.0.23")
{
    // 300 K gives no prompt; 301 K asks, and Cancel skips the message entirely.
    FakePop3Server server(address(), 110);
    const int size300 = 299 * 1024;
    const int size301 = 300 * 1024;
    server.script(
        sessionScript({{kClean, size300}, {kClean, size301}}, [](int n) { return n == 2; }));
    BoxAnswerer cancel(QMessageBox::Cancel);
    runScan(server);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(cancel.seen, 1);
    EXPECT_EQ(cancel.title, "Alert!");
    EXPECT_EQ(cancel.icon, QMessageBox::NoIcon);
    EXPECT_EQ(cancel.text, "This message is 301kb in size and may take a few minutes to scan.\n"
                           "Would you like to continue with the scan of message 2?");
    EXPECT_FALSE(sent.contains("RETR 2"));
    EXPECT_EQ(saved(2), "<missing>");
    EXPECT_TRUE(window.isVisible()); // back on top after the box
}

SCAN_TEST(SizePromptAnsweredOkFetchesTheMessage, "127.0.0.24")
{
    FakePop3Server server(address(), 110);
    server.script(sessionScript({{kClean, 400 * 1024}}));
    BoxAnswerer ok(QMessageBox::Ok);
    runScan(server);
    EXPECT_EQ(ok.seen, 1);
    EXPECT_TRUE(sent.contains("RETR 1"));
    EXPECT_EQ(saved(1), kClean);
}

SCAN_TEST(RefusedLoginEndsAtOnceWithoutABox, "127.0.0.25")
{
    FakePop3Server server(address(), 110);
    server.script("S: +OK\nC:\nS: +OK\nC:\nS: -ERR [AUTH] Authentication failed.");
    BoxAnswerer any(QMessageBox::Ok);
    runScan(server);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(infos.last(),
              "Error received from PASS command: -ERR [AUTH] Authentication failed.\r\n");
    EXPECT_EQ(any.seen, 0);
    EXPECT_TRUE(pauses.isEmpty());
}

SCAN_TEST(ServerFailingWhileSelectingShowsTheErrorBox, "127.0.0.26")
{
    FakePop3Server server(address(), 110);
    server.script(QStringLiteral("S: +OK\nC:\nS: +OK\nC:\nS: +OK\nC:\nS: +OK 3 99\nC: UIDL 1\n"
                                 "S: -ERR mailbox is gone"));
    BoxAnswerer ok(QMessageBox::Ok);
    runScan(server);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(ok.seen, 1);
    EXPECT_EQ(ok.title, "Error");
    EXPECT_EQ(ok.icon, QMessageBox::Critical);
    EXPECT_EQ(ok.text, "Error: Error using the UIDL command: -ERR mailbox is gone\r\n");
    EXPECT_FALSE(sent.contains("QUIT"));
}

SCAN_TEST(MissingDefinitionFileIsAnErrorExitNotACrash, "127.0.0.27")
{
    QFile::remove(folder.filePath(QStringLiteral("def.dat")));
    FakePop3Server server(address(), 110);
    server.script(sessionScript({{kTwoHits}}));
    BoxAnswerer ok(QMessageBox::Ok);
    runScan(server);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(ok.seen, 1);
    EXPECT_TRUE(ok.text.startsWith("Error: ")) << qPrintable(ok.text);
    EXPECT_TRUE(ok.text.contains(folder.filePath(QStringLiteral("def.dat"))));
    EXPECT_FALSE(sent.join('\n').contains("DELE"));
    EXPECT_FALSE(sent.contains("QUIT"));
}

SCAN_TEST(UnsavableMessageIsAnErrorExitAndNotChecked, "127.0.0.28")
{
    // The server dies in the middle of the message: the file is incomplete, so it is not
    // checked (and not taken for clean).
    FakePop3Server server(address(), 110);
    server.script(QStringLiteral("S: +OK\nC:\nS: +OK\nC:\nS: +OK\nC:\nS: +OK 1 99\nC: UIDL 1\n"
                                 "S: +OK 1 a\nC: LIST 1\nS: +OK 1 99\nC: TOP 1 0\nS: +OK\nS: .\n"
                                 "C: RETR 1\nS: +OK\nS: evil payload\nX:"));
    BoxAnswerer ok(QMessageBox::Ok);
    ControlHost control;
    control.put(0x6803000E /* POPTimeout */, automation::Variant::fromInt16(1));
    ScanRun run(window, control, modGeneral::readSettings(), folder.path(), hooks());
    run.run();
    server.dropClient();
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(ok.seen, 1);
    EXPECT_TRUE(ok.text.startsWith("Error: Error retrieving the message: ")) << qPrintable(ok.text);
    EXPECT_TRUE(infos.filter(QStringLiteral("Possible virus")).isEmpty());
}

SCAN_TEST(TooManyMessagesIsAClearErrorBeforeTheFirst, "127.0.0.29")
{
    FakePop3Server server(address(), 110);
    server.script("S: +OK\nC:\nS: +OK\nC:\nS: +OK\nC:\nS: +OK 40000 1");
    BoxAnswerer ok(QMessageBox::Ok);
    runScan(server);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(ok.text, "Error: The mailbox holds 40000 messages; at most 32767 can be scanned.");
    EXPECT_EQ(sent.size(), 3);
}

SCAN_TEST(EmptyMailboxClosesAtOnce, "127.0.0.30")
{
    FakePop3Server server(address(), 110);
    server.script(sessionScript({}));
    runScan(server);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(infos, (QStringList{"Messages in mailbox: [0].",
                                  "Scan complete!\r\rClosing in 3 seconds..."}));
}

// What the run reports when a step it does not stop for fails, where it writes, and what the
// user can see. Each row: a server script, the error boxes expected, the exit status.
class ScanScenario;

struct Scenario {
    const char* name;
    const char* address;
    QString script;
    QStringList boxes; // texts of the error boxes, in order
    int exitCode;
    std::function<void(ScanScenario&)> arrange = nullptr;
    std::function<void(ScanScenario&)> verify = nullptr;
};

void PrintTo(const Scenario& scenario, std::ostream* out)
{
    *out << scenario.name;
}

class ScanScenario : public ScanRunTest, public ::testing::WithParamInterface<Scenario> {
public:
    QString address() const override { return QString::fromLatin1(GetParam().address); }
    using ScanRunTest::folder;
    using ScanRunTest::infos;
    using ScanRunTest::pauses;
    using ScanRunTest::sent;
    using ScanRunTest::window;
    using ScanRunTest::writeDefinitions;

    std::optional<ProgramFolder> programFolder;
    QStringList labelsDuringPauses;
    std::function<void(int)> pauseOverride;
    std::unique_ptr<BoxAnswerer> boxes;
};

const QString kLogin = QStringLiteral("S: +OK ready\nC:\nS: +OK\nC:\nS: +OK\nC:\n");

QString savedMessageSteps(int n, const QByteArray& text)
{
    const QString body = QString::fromLatin1(text)
                             .replace(QStringLiteral("\\"), QStringLiteral("\\\\"))
                             .replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n"));
    return QStringLiteral("C: UIDL %1\nS: +OK %1 id%1\nC: LIST %1\nS: +OK %1 %2\nC: TOP %1 0\n"
                          "S: +OK\nS: .\nC: RETR %1\nS: +OK\\r\\n%3\\r\\n.\n")
        .arg(n)
        .arg(text.size())
        .arg(body);
}

const QByteArray kOneHit = "Subject: bad\r\n\r\nan evil payload here";

// 300 characters: far more than one line of the label.
const QByteArray kLongDefinition = "evil payload " + QByteArray(287, 'z');

const Scenario kScenarios[] = {
    {"RefusedDeleIsAFailureButNotItsRepeat",
     "127.0.0.41",
     kLogin + "S: +OK 2 99\n" + savedMessageSteps(1, kTwoHits) +
         "C: DELE 1\nS: +OK marked\nC: DELE 1\nS: -ERR Message is deleted.\n" +
         savedMessageSteps(2, kOneHit) + "C: DELE 2\nS: -ERR [SYS/PERM] Cannot mark\n" +
         "C: QUIT\nS: +OK bye\nX:",
     {"Error: Error using the DELE (delete) command: -ERR [SYS/PERM] Cannot mark\r\n"},
     1,
     nullptr,
     [](ScanScenario& t) {
         // Nothing else of the run changes: all alerts, pauses and the QUIT still happen.
         EXPECT_EQ(t.pauses, (QList<int>{5, 5, 5, 3}));
         EXPECT_EQ(t.sent.last(), "QUIT");
         EXPECT_EQ(t.infos.last(), "Scan complete!\r\rClosing in 3 seconds...");
     }},
    {"QuitNotAnsweredOkIsAFailure",
     "127.0.0.42",
     kLogin + "S: +OK 1 99\n" + savedMessageSteps(1, kClean) +
         "C: QUIT\nS: -ERR [SYS/TEMP] Cannot expunge\nX:",
     {"Error: Error received from QUIT command: -ERR [SYS/TEMP] Cannot expunge\r\n"},
     1},
    {"ProgramFolderThatIsNotUtf8",
     "127.0.0.43",
     kLogin + "S: +OK 1 99\n" + savedMessageSteps(1, kOneHit) +
         "C: DELE 1\nS: +OK\nC: QUIT\nS: +OK bye\nX:",
     {},
     0,
     [](ScanScenario& t) {
         const QByteArray native = QFile::encodeName(t.folder.path()) + "/prog\xFF\xFE";
         ASSERT_EQ(::mkdir(native.constData(), 0700), 0);
         const int fd = ::open((native + "/def.dat").constData(), O_WRONLY | O_CREAT, 0600);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(::write(fd, "evil payload\r\n", 14), 14);
         ::close(fd);
         t.programFolder.emplace(native);
     },
     [](ScanScenario& t) {
         const QByteArray saved = t.programFolder->nativePath() + "/msg1.txt";
         struct stat info {};
         ASSERT_EQ(::stat(saved.constData(), &info), 0) << "no msg1.txt in the program folder";
         EXPECT_EQ(qint64(info.st_size), kOneHit.size());
         EXPECT_FALSE(QFile::exists(QStringLiteral("/msg1.txt")));
         EXPECT_TRUE(t.infos.filter(QStringLiteral("Possible virus found!")).size() == 1);
     }},
    {"HitTextShortenedInTheMiddleToFitTheLabel",
     "127.0.0.44",
     kLogin + "S: +OK 1 99\n" +
         savedMessageSteps(1, "Subject: x\r\n\r\nbefore " + kLongDefinition + " after") +
         "C: DELE 1\nS: +OK\nC: QUIT\nS: +OK bye\nX:",
     {},
     0,
     [](ScanScenario& t) { t.writeDefinitions(kLongDefinition + "\r\n"); },
     [](ScanScenario& t) {
         ASSERT_EQ(t.labelsDuringPauses.size(), 2); // the alert's pause, then the closing one
         const QString shown = t.labelsDuringPauses[0];
         EXPECT_TRUE(shown.contains(QChar(0x2026))) << qPrintable(shown);
         EXPECT_TRUE(shown.startsWith("Possible virus found!\n\nVirus Information:\n"));
         EXPECT_TRUE(shown.endsWith(t.folder.path() + "/msg1.txt file.")) << qPrintable(shown);
         EXPECT_TRUE(t.window.fitsLabel(shown));
         // Standard output and every listener still get the whole sentence.
         const QStringList alerts = t.infos.filter(QStringLiteral("Possible virus found!"));
         ASSERT_EQ(alerts.size(), 1);
         EXPECT_TRUE(alerts[0].contains("[" + kLongDefinition + "]:before " + kLongDefinition));
     }},
    {"RunTimeErrorBoxIsNotHiddenBehindTheWindow",
     "127.0.0.45",
     kLogin + "S: +OK 0 0\nH:",
     {},
     2,
     [](ScanScenario& t) {
         // A run-time fault of the run, as a failed call of the control would raise it.
         t.pauseOverride = [](int) { throw RuntimeFault{5, QStringLiteral("Invalid call")}; };
     },
     [](ScanScenario& t) {
         ASSERT_EQ(t.boxes->seen, 1);
         EXPECT_TRUE(t.boxes->text.contains("Run-time error '5'")) << qPrintable(t.boxes->text);
         EXPECT_EQ(t.boxes->watchedOnTop, (QList<bool>{false}));
     }},
};

TEST_P(ScanScenario, Run)
{
    const Scenario& scenario = GetParam();
    window.setTopmost(true);
    boxes = std::make_unique<BoxAnswerer>(QMessageBox::Ok, &window);
    if (scenario.arrange) {
        scenario.arrange(*this);
        if (HasFatalFailure()) {
            return;
        }
    }
    FakePop3Server server(address(), 110);
    server.script(scenario.script);
    ASSERT_TRUE(server.isListening()) << "port 110 of " << qPrintable(address());
    ControlHost control;
    ScanHooks h = hooks();
    h.pause = [this, recordPause = h.pause](int seconds) {
        labelsDuringPauses.append(window.lblInfo()->text());
        (pauseOverride ? pauseOverride : recordPause)(seconds);
    };
    ScanRun run(window, control, modGeneral::readSettings(),
                programFolder ? *programFolder : ProgramFolder(folder.path()), h);
    run.run();
    sent = server.received();
    server.dropClient();
    EXPECT_EQ(exitCode, scenario.exitCode);
    if (scenario.exitCode != 2) {
        EXPECT_EQ(boxes->texts, scenario.boxes);
    }
    if (scenario.verify) {
        scenario.verify(*this);
    }
}

INSTANTIATE_TEST_SUITE_P(, ScanScenario, ::testing::ValuesIn(kScenarios),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ScanWindow, LayoutAndStartUp)
{
    Scan window;
    EXPECT_EQ(window.size(), QSize(263, 191));
    EXPECT_EQ(window.windowTitle(), "Form1");
    EXPECT_EQ(window.lblInfo()->text(), "Initializing E-Mail scan...");
    EXPECT_EQ(window.lblInfo()->geometry(), QRect(16, 16, 233, 161));
    EXPECT_EQ(window.lblInfo()->font().pointSize(), 9);
    EXPECT_FALSE(window.command1()->isVisibleTo(&window));
    EXPECT_EQ(window.command1()->text(), "Check mail for viruses");
    EXPECT_EQ(window.timer1()->interval(), 1000);
    EXPECT_TRUE(window.timer1()->isActive());
    bool started = false;
    QObject::connect(&window, &Scan::started, [&] { started = true; });
    ASSERT_TRUE(waitFor([&] { return started; }, 3000));
    EXPECT_FALSE(window.timer1()->isActive()); // one tick only
}

TEST(ScanWindow, MissingSettingStartsTheSettingsProgramAndEnds)
{
    QTemporaryDir folder;
    const QString marker = folder.filePath(QStringLiteral("started"));
    QFile program(folder.filePath(QStringLiteral("settings")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\ntouch \"$(pwd)/started\"\n");
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    modGeneral::writeSettings({QStringLiteral("127.0.0.1"), QStringLiteral("bob"), QString()});
    Scan window;
    int exitCode = -1;
    ScanHooks hooks = ScanHooks::real();
    hooks.endProgram = [&](int code) { exitCode = code; };
    startUp(window, folder.path(), hooks);
    EXPECT_EQ(exitCode, 0);
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(waitFor([&] { return QFile::exists(marker); }, 5000));

    modGeneral::writeSettings(
        {QStringLiteral("127.0.0.1"), QStringLiteral("bob"), QStringLiteral(" ")});
    exitCode = -1;
    startUp(window, folder.path(), hooks); // a password of one blank is a password
    EXPECT_EQ(exitCode, -1);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
}

TEST(ScanWindow, SettingsFileIsPrivate)
{
    modGeneral::writeSettings({QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("p")});
    const QFile::Permissions permissions = QFile::permissions(modGeneral::settingsFilePath());
    EXPECT_EQ(permissions &
                  (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
    EXPECT_EQ(modGeneral::readSettings().pass, "p");
}

SCAN_TEST(SecuritySettingsChooseThePortAndTheMode, "127.0.0.41")
{
    struct Case {
        const char* security;
        quint16 port;
        const char* script;
        const char* info; // the label's last text starts so
        int connections;
        const char* firstSent; // null: the handshake's bytes, not checked
    };
    const Case cases[] = {
        // STLS stays on 110; the refusal ends the run before USER.
        {"starttls", 110, "S: +OK\nC: STLS\nS: -ERR not here\nH:",
         "Server refused STLS: -ERR not here\r\n", 1, "STLS"},
        // TLS goes to 995; a server there that speaks no TLS gets nothing but the handshake.
        {"tls", 995, "S: +OK\nH:", "Secure connection failed: ", 1, nullptr},
        {"TLS", 995, "S: +OK\nH:", "Secure connection failed: ", 1, nullptr},
        // Not a mode: named in the error box, and no connection at all.
        {"ssl", 110, "S: +OK\nH:", "Unknown connection security \"ssl\"", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.security);
        modGeneral::writeSettings({address(), QStringLiteral("bob"), QStringLiteral("pw"),
                                   QString::fromLatin1(c.security), QString()});
        FakePop3Server server(address(), c.port);
        server.script(QString::fromLatin1(c.script));
        BoxAnswerer ok(QMessageBox::Ok);
        exitCode = -1;
        runScan(server);
        EXPECT_EQ(exitCode, 1);
        EXPECT_TRUE(infos.last().startsWith(QString::fromLatin1(c.info)))
            << qPrintable(infos.last());
        EXPECT_EQ(server.connectionCount(), c.connections);
        if (c.firstSent) {
            EXPECT_EQ(sent.value(0), c.firstSent);
        }
        for (const QByteArray& line : sent) {
            EXPECT_FALSE(line.startsWith("USER") || line.startsWith("PASS"));
        }
    }
}

// The settings as the store holds them, and the settings program's refusals.
TEST(ScanSettings, OnlyTheScannersOwnFileCounts)
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QFile organisationWide(config + QStringLiteral("/Orsel.conf"));
    ASSERT_TRUE(organisationWide.open(QIODevice::WriteOnly));
    organisationWide.write("[Settings]\nPass=from-elsewhere\nUser=someone-else\n");
    organisationWide.close();
    modGeneral::writeSettings({QStringLiteral("h"), QStringLiteral("u"), QString()});
    const modGeneral::StoredSettings read = modGeneral::readSettings();
    organisationWide.remove();
    EXPECT_EQ(read.user, "u");
    EXPECT_EQ(read.pass, ""); // missing here, so missing: the settings program is started
}

TEST(ScanSettings, SettingsProgramRefusesLineBreaksAndReadsThePasswordFromStandardInput)
{
    const struct {
        const char* name;
        QStringList arguments;
        QByteArray input;
        int exitCode;
        QString storedPass; // after the call
    } cases[] = {
        {"line feed in the address",
         {"--address", "a\nb", "--user", "u", "--pass", "p"},
         {},
         2,
         "before"},
        {"carriage return in the user",
         {"--address", "a", "--user", "u\r", "--pass", "p"},
         {},
         2,
         "before"},
        {"password from standard input",
         {"--address", "a", "--user", "u", "--pass", "-"},
         "s3cret word\nignored\n",
         0,
         "s3cret word"},
        {"CR LF ended password",
         {"--address", "a", "--user", "u", "--pass", "-"},
         "pw\r\n",
         0,
         "pw"},
        {"CR inside the password from standard input",
         {"--address", "a", "--user", "u", "--pass", "-"},
         "p\rw\n",
         2,
         "before"},
        {"empty standard input", {"--address", "a", "--user", "u", "--pass", "-"}, "", 2, "before"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        modGeneral::writeSettings(
            {QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("before")});
        QProcess settings;
        settings.start(QStringLiteral(SETTINGS_PATH), c.arguments);
        ASSERT_TRUE(settings.waitForStarted(5000));
        settings.write(c.input);
        settings.closeWriteChannel();
        ASSERT_TRUE(settings.waitForFinished(10000));
        EXPECT_EQ(settings.exitCode(), c.exitCode) << settings.readAllStandardError().constData();
        EXPECT_EQ(modGeneral::readSettings().pass, c.storedPass);
    }
}

// The checks beside the definition check, turned on by the store's "Decode" and "ClamAV" keys.
namespace {

const QByteArray kEncodedEicar = testmail::message(
    "encoded", testmail::multipart("mixed", "b",
                                   {testmail::part({"Content-Type: text/plain"}, "Hello.\r\n"),
                                    testmail::base64Attachment("readme.txt", "text/plain",
                                                               testmail::eicar() + "\r\n")}));

QByteArray zippedEicar()
{
    return testmail::message(
        "zipped", testmail::multipart("mixed", "z",
                                      {testmail::base64Attachment(
                                          "test.zip", "application/zip",
                                          testmail::deflatedZip("eicar.com", testmail::eicar()))}));
}

} // namespace

SCAN_TEST(EnginesFollowTheStoreAndReportAfterTheRawHits, "127.0.0.71")
{
    // Without the new keys the encoded test text goes unseen, exactly as before; with Decode it
    // is found in the decoded part, and ClamAV finds the zipped one, with their own D and M.
    QDir().mkpath(folder.filePath(QStringLiteral("db")));
    QFile db(folder.filePath(QStringLiteral("db/tiny.hdb")));
    ASSERT_TRUE(db.open(QIODevice::WriteOnly));
    db.write(testmail::eicarHashDatabase("Orsel.Test.EICAR"));
    db.close();
    const QByteArray rawAndEncoded = kEncodedEicar + "\r\nevil payload in the clear\r\n";
    struct Run {
        QString decode, clamAV;
        QList<Message> mailbox;
        QStringList alerts; // what follows "[" in each alert, up to the line break
    };
    const QList<Run> runs = {
        {{},
         {},
         {{rawAndEncoded, 0, 1}, {zippedEicar()}},
         {"evil payload]:evil payload in the clear"}},
        {"1",
         {},
         {{rawAndEncoded, 0, 2}, {zippedEicar()}},
         {"evil payload]:evil payload in the clear",
          testmail::eicar() + "]:readme.txt: " + testmail::eicar()}},
        {"1",
         folder.filePath(QStringLiteral("db")),
         {{rawAndEncoded, 0, 2}, {zippedEicar(), 0, 1}},
         {"evil payload]:evil payload in the clear",
          testmail::eicar() + "]:readme.txt: " + testmail::eicar(),
          "Orsel.Test.EICAR.UNOFFICIAL]:ClamAV: eicar.com"}},
    };
    for (const Run& r : runs) {
        SCOPED_TRACE(qPrintable("Decode=" + r.decode + " ClamAV=" + r.clamAV));
        modGeneral::writeEngineSettings({r.decode, r.clamAV});
        infos.clear();
        pauses.clear();
        FakePop3Server server(address(), 110);
        server.script(sessionScript(r.mailbox));
        runScan(server);
        EXPECT_EQ(exitCode, 0);
        QStringList alerts;
        for (const QString& info : infos.filter(QStringLiteral("Possible virus found!"))) {
            const qsizetype from = info.indexOf(QLatin1Char('[')) + 1;
            alerts.append(info.mid(from, info.indexOf(QStringLiteral("\r\rThis E-Mail")) - from));
        }
        EXPECT_EQ(alerts, r.alerts);
        EXPECT_EQ(infos.first().startsWith(QStringLiteral("Loading ClamAV signatures from ")),
                  !r.clamAV.isEmpty());
        EXPECT_EQ(sent.last(), "QUIT");
    }
}

SCAN_TEST(AClamAvDatabaseThatDoesNotLoadStopsBeforeTheFirstMessage, "127.0.0.72")
{
    const QString missing = folder.filePath(QStringLiteral("no-such-db"));
    modGeneral::writeEngineSettings({QStringLiteral("1"), missing});
    FakePop3Server server(address(), 110);
    server.script(sessionScript({{kTwoHits, 0, 2}}));
    BoxAnswerer ok(QMessageBox::Ok);
    runScan(server);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(ok.seen, 1);
    EXPECT_TRUE(ok.text.startsWith("Error: Cannot load the ClamAV database in " + missing + ": "))
        << qPrintable(ok.text);
    EXPECT_TRUE(sent.isEmpty()); // not even logged in
}
