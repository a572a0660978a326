// The scanner's window and run in-process against a scripted server on port 110 of a loopback
// address of each test's own, with the real control loaded from the shipped library.
#include "platform/automation/libraryentrypoints.h"
#include "platform/pump.h"
#include "scanner/controlhost.h"
#include "scanner/modgeneral.h"
#include "scanner/runlock.h"
#include "scanner/scan.h"
#include "scanner/scanrun.h"
#include "scanner/startup.h"
#include "tests/support/clamdserver.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/filebytes.h"
#include "tests/support/loopback.h"
#include "tests/support/testmail.h"
#include "tests/support/waitfor.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLibrary>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
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
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_config.path()));
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

const QString kLogin = QStringLiteral("S: +OK ready\nC:\nS: +OK\nC:\nS: +OK\nC:\n");

// The exchanges of message n from its selection to its DELEs; one the user declined to fetch
// ends after LIST.
QString messageSteps(int n, const Message& m, bool fetched = true)
{
    const int size = m.listSize ? m.listSize : int(m.text.size());
    QString steps =
        QStringLiteral("C: UIDL %1\nS: +OK %1 id%1\nC: LIST %1\nS: +OK %1 %2\n").arg(n).arg(size);
    if (!fetched) {
        return steps;
    }
    steps += QStringLiteral("C: TOP %1 0\nS: +OK\nS: .\nC: RETR %1\nS: +OK\\r\\n%2\\r\\n.\n")
                 .arg(n)
                 .arg(QString::fromLatin1(m.text)
                          .replace(QStringLiteral("\\"), QStringLiteral("\\\\"))
                          .replace(QStringLiteral("\r\n"), QStringLiteral("\\r\\n")));
    for (int h = 0; h < m.hits; ++h) {
        steps += QStringLiteral("C: DELE %1\nS: +OK marked\n").arg(n);
    }
    return steps;
}

// A whole session: login, every message, QUIT.
QString sessionScript(const QList<Message>& messages, bool cancelled(int) = nullptr)
{
    QString script = kLogin + QStringLiteral("S: +OK %1 999\n").arg(messages.size());
    for (int n = 1; n <= messages.size(); ++n) {
        script += messageSteps(n, messages[n - 1], !(cancelled && cancelled(n)));
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

// The run against a scripted server on a loopback address of each row's own (so that rows may
// run side by side), with the real control: what it shows, says, asks, sends and saves.
class ScanScenario;

struct Scenario {
    const char* name;
    int host; // the last octet of its loopback address
    QString script;
    // Texts of every box, in order: "{folder}" stands for the test's folder, and a trailing "*"
    // for whatever a library words after it.
    QStringList boxes;
    int exitCode;
    std::function<void(ScanScenario&)> arrange = nullptr;
    std::function<void(ScanScenario&)> verify = nullptr;
    QMessageBox::StandardButton answer = QMessageBox::Ok; // to every box
    quint16 port = 110;
    ScanOptions options = {};
};

void PrintTo(const Scenario& scenario, std::ostream* out)
{
    *out << scenario.name;
}

class ScanScenario : public ::testing::TestWithParam<Scenario> {
public:
    void SetUp() override
    {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "binding port 110 needs root";
        }
        modGeneral::writeSettings({address(), QStringLiteral("bob"), QStringLiteral("pw")});
        modGeneral::writeEngineSettings({}); // only the three keys unless a row adds more
        writeDefinitions("X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*\r\n"
                         "evil payload\r\n");
        QObject::connect(&window, &Scan::infoChanged,
                         [this](const QString& text) { infos.append(text); });
    }

    QString address() const { return loopbackAddress(GetParam().host); }

    void writeDefinitions(const QByteArray& content)
    {
        QFile file(folder.filePath(QStringLiteral("def.dat")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray saved(int n) const
    {
        return fileBytes(folder.filePath(QStringLiteral("msg%1.txt").arg(n)));
    }

    QStringList alerts() const { return infos.filter(QStringLiteral("Possible virus found!")); }

    ScanHooks hooks()
    {
        ScanHooks h = ScanHooks::real();
        h.pause = [this](int seconds) {
            labelsDuringPauses.append(window.lblInfo()->text());
            if (pauseOverride) {
                pauseOverride(seconds);
            } else {
                pauses.append(seconds);
            }
        };
        h.endProgram = [this](int code) { exitCode = code; };
        if (runLockWait) {
            h.waitForRunLock = runLockWait;
        }
        return h;
    }

    void expectBoxes(const QStringList& expected) const
    {
        ASSERT_EQ(boxes->texts.size(), expected.size()) << qPrintable(boxes->texts.join("\n--\n"));
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QString want = expected[i];
            want.replace(QStringLiteral("{folder}"), folder.path());
            if (want.endsWith(QLatin1Char('*'))) {
                want.chop(1);
                EXPECT_TRUE(boxes->texts[i].startsWith(want)) << qPrintable(boxes->texts[i]);
            } else {
                EXPECT_EQ(boxes->texts[i].toStdString(), want.toStdString());
            }
        }
    }

    QTemporaryDir folder;
    Scan window;
    QStringList infos;
    QList<int> pauses;
    int exitCode = -1;
    QList<QByteArray> sent; // what the server got until the program ended
    int connections = 0;
    std::optional<ProgramFolder> programFolder;
    std::optional<qint16> popTimeout;
    QStringList labelsDuringPauses;
    std::function<void(int)> pauseOverride;
    // Stands in for the 60 s wait for another run's lock; `otherRun` plays that run.
    std::function<bool(const std::function<bool()>&)> runLockWait;
    RunLock otherRun;
    std::unique_ptr<BoxAnswerer> boxes;
    std::unique_ptr<ClamdServer> clamd;
};

const QByteArray kClean = "Subject: hello\r\n\r\nNothing to see here.\r\nBye.";
const QByteArray kTwoHits = "Subject: bad\r\n\r\nline with EVIL PAYLOAD inside\r\nclean\r\n"
                            "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*";
const QByteArray kOneHit = "Subject: bad\r\n\r\nan evil payload here";

// 300 characters: far more than one line of the label.
const QByteArray kLongDefinition = "evil payload " + QByteArray(287, 'z');

QString sizePrompt(int sizeInK, int message)
{
    return QStringLiteral("This message is %1kb in size and may take a few minutes to scan.\n"
                          "Would you like to continue with the scan of message %2?")
        .arg(sizeInK)
        .arg(message);
}

// The store's connection security picks the mode and the port; no login travels before it holds.
Scenario securityScenario(const char* name, int host, const char* security, quint16 port,
                          const char* script, QStringList boxes, QString info, int connections,
                          const char* firstSent)
{
    Scenario row{name,
                 host,
                 QString::fromLatin1(script),
                 std::move(boxes),
                 1,
                 [security](ScanScenario& t) {
                     modGeneral::writeSettings({t.address(), QStringLiteral("bob"),
                                                QStringLiteral("pw"), QString::fromLatin1(security),
                                                QString()});
                 },
                 [info, connections, firstSent](ScanScenario& t) {
                     EXPECT_TRUE(t.infos.last().startsWith(info)) << qPrintable(t.infos.last());
                     EXPECT_EQ(t.connections, connections);
                     if (firstSent) {
                         EXPECT_EQ(t.sent.value(0), firstSent);
                     }
                     for (const QByteArray& line : t.sent) {
                         EXPECT_FALSE(line.startsWith("USER") || line.startsWith("PASS"));
                     }
                 }};
    row.port = port;
    return row;
}

// The checks beside the definition check, turned on by the store's "Decode" and "ClamAV" keys.
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

const QByteArray kRawAndEncoded = kEncodedEicar + "\r\nevil payload in the clear\r\n";

// Engine hits follow the raw ones, with their own D and M; `alerts` holds what follows "[" in
// each alert, up to the line break.
Scenario engineScenario(const char* name, int host, const char* decode, bool clamAv,
                        const QList<Message>& mailbox, QStringList alerts)
{
    int clean = 0;
    for (const Message& m : mailbox) {
        clean += m.hits == 0 ? 1 : 0;
    }
    return {name,
            host,
            sessionScript(mailbox),
            {},
            0,
            [decode, clamAv](ScanScenario& t) {
                const QString database = t.folder.filePath(QStringLiteral("db"));
                QDir().mkpath(database);
                QFile db(database + QStringLiteral("/tiny.hdb"));
                ASSERT_TRUE(db.open(QIODevice::WriteOnly));
                db.write(testmail::eicarHashDatabase("Orsel.Test.EICAR"));
                modGeneral::writeEngineSettings(
                    {QString::fromLatin1(decode), clamAv ? database : QString()});
            },
            [alerts, clamAv, clean](ScanScenario& t) {
                QStringList shown;
                for (const QString& info : t.alerts()) {
                    const qsizetype from = info.indexOf(QLatin1Char('[')) + 1;
                    shown.append(
                        info.mid(from, info.indexOf(QStringLiteral("\r\rThis E-Mail")) - from));
                }
                EXPECT_EQ(shown, alerts);
                // A message with engine hits alone is infected all the same.
                EXPECT_EQ(t.infos.filter(QStringLiteral("No viruses found.")).size(), clean);
                EXPECT_EQ(
                    t.infos.first().startsWith(QStringLiteral("Loading ClamAV signatures from ")),
                    clamAv);
                EXPECT_EQ(t.sent.last(), "QUIT");
            }};
}

// ClamAV as the system's daemon would run it: a clamd of the row's own, named by "clamd:PATH".
void useClamd(ScanScenario& t, const QStringList& settings = {})
{
    t.clamd = std::make_unique<ClamdServer>(settings);
    QString why;
    ASSERT_TRUE(t.clamd->start(&why)) << qPrintable(why);
    modGeneral::writeEngineSettings({QStringLiteral("1"), "clamd:" + t.clamd->socket()});
}

// ClamAV in-process, with the one-signature database in the row's folder.
void useClamAvFolder(ScanScenario& t)
{
    const QString database = t.folder.filePath(QStringLiteral("db"));
    QDir().mkpath(database);
    QFile db(database + QStringLiteral("/tiny.hdb"));
    ASSERT_TRUE(db.open(QIODevice::WriteOnly));
    db.write(testmail::eicarHashDatabase("Orsel.Test.EICAR"));
    modGeneral::writeEngineSettings({QStringLiteral("1"), database});
}

// The test text in a zip nested 20 deep: beyond ClamAV's default nesting limit of 17.
QByteArray deeplyNestedEicar()
{
    return testmail::message(
        "nested",
        testmail::multipart(
            "mixed", "n",
            {testmail::base64Attachment("nested.zip", "application/zip",
                                        testmail::nestedZip("eicar.com", testmail::eicar(), 20))}));
}

// Either engine: the nested message stays on the server (no DELE), named with its reason; the
// clean one after it is checked as ever; the last text counts what was left.
Scenario notFullyCheckedScenario(const char* name, int host,
                                 std::function<void(ScanScenario&)> useEngine)
{
    return {name,
            host,
            sessionScript({{deeplyNestedEicar()}, {kClean}}),
            {},
            0,
            std::move(useEngine),
            [](ScanScenario& t) {
                EXPECT_TRUE(t.infos.contains(
                    "Message 1 was not fully checked:\rClamAV stopped at one of its limits "
                    "(Heuristics.Limits.Exceeded.MaxRecursion).\r\rIt stays on the server and is "
                    "checked again next time."))
                    << qPrintable(t.infos.join("\n--\n"));
                EXPECT_TRUE(t.alerts().isEmpty());
                EXPECT_FALSE(t.infos.contains("Scan of message 1 complete.\r\rNo viruses found."));
                EXPECT_TRUE(t.infos.contains("Scan of message 2 complete.\r\rNo viruses found."));
                EXPECT_FALSE(t.sent.join('\n').contains("DELE"));
                EXPECT_EQ(t.infos.last(), "Scan complete!\r\r1 message was not fully checked; it "
                                          "was left on the server.\r\rClosing in 3 seconds...");
                EXPECT_EQ(t.sent.last(), "QUIT");
                EXPECT_NE(t.saved(1), "<missing>"); // kept for whoever looks into it
            }};
}

// Settings that sign in with `auth`, the password "pw" or none, and a token command; the run must
// leave `boxes`, have sent `sent` and end with `exitCode`.
Scenario signInScenario(const char* name, int host, const char* auth, const char* tokenCommand,
                        const QString& script, QStringList boxes, QList<QByteArray> sent,
                        int exitCode = 1)
{
    return {name,
            host,
            script,
            std::move(boxes),
            exitCode,
            [auth, tokenCommand](ScanScenario& t) {
                modGeneral::StoredSettings settings{t.address(), QStringLiteral("bob"),
                                                    *tokenCommand ? QString() : "pw"};
                settings.auth = QString::fromLatin1(auth);
                settings.tokenCommand = QString::fromLatin1(tokenCommand);
                modGeneral::writeSettings(settings);
            },
            [sent, auth, tokenCommand](ScanScenario& t) {
                EXPECT_EQ(t.sent, sent);
                EXPECT_EQ(t.connections, sent.isEmpty() ? 0 : 1);
                // The token is neither shown nor traced to the window's label.
                EXPECT_FALSE(t.infos.join('\n').contains("tok-123"));
                EXPECT_EQ(t.infos.value(0) == "Getting an access token...",
                          *tokenCommand != '\0' && QByteArray(auth) != "cram-md5");
                if (t.sent == QList<QByteArray>{"CAPA"}) {
                    EXPECT_EQ(t.infos.last(),
                              "Sign-in method not offered by the server: SASL XOAUTH2");
                }
            }};
}

const QString kOfferedXoauth2 =
    QStringLiteral("S: +OK ready\nC: CAPA\nS: +OK\nS: SASL PLAIN XOAUTH2\nS: .\n");
// base64("user=bob\x01auth=Bearer tok-123\x01\x01")
const QByteArray kXoauth2Bob = "AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgdG9rLTEyMwEB";

// A session with "FewerRoundTrips": CAPA, the login and the listings in two bursts, then one RETR
// for each message not in `remembered` (and its DELEs).
QString pipelinedSessionScript(const QList<Message>& messages, const QList<int>& remembered = {})
{
    QString uidl = QStringLiteral("S: +OK\n");
    QString list = QStringLiteral("S: +OK\n");
    QString fetches;
    for (int n = 1; n <= messages.size(); ++n) {
        const Message& m = messages[n - 1];
        uidl += QStringLiteral("S: %1 id%1\n").arg(n);
        list += QStringLiteral("S: %1 %2\n").arg(n).arg(m.listSize ? m.listSize : m.text.size());
        if (!remembered.contains(n)) {
            // The per-message steps without their UIDL, LIST and TOP.
            const QString steps = messageSteps(n, m);
            fetches += steps.mid(steps.indexOf(QStringLiteral("C: RETR")));
        }
    }
    return QStringLiteral("S: +OK ready\nC: CAPA\nS: +OK\nS: PIPELINING\nS: UIDL\nS: .\n"
                          "C: USER\nC: PASS\nS: +OK\nS: +OK\nC: STAT\nC: UIDL\nC: LIST\n"
                          "S: +OK %1 999\n")
               .arg(messages.size()) +
           uidl + "S: .\n" + list + "S: .\n" + fetches + "C: QUIT\nS: +OK bye\nX:";
}

void storeFewerRoundTrips(ScanScenario& t, const char* value)
{
    modGeneral::StoredSettings settings{t.address(), QStringLiteral("bob"), QStringLiteral("pw")};
    settings.fewerRoundTrips = QString::fromLatin1(value);
    modGeneral::writeSettings(settings);
}

const QList<Message> kFiveWithHits = {
    {kClean}, {kOneHit, 0, 1}, {kClean}, {kTwoHits, 0, 2}, {kClean}};

ScanOptions remembering()
{
    ScanOptions options;
    options.remember = true;
    return options;
}

// A first run with --remember over `messages` (fewer round trips), which it finds clean.
void rememberFirst(ScanScenario& t, const QList<Message>& messages)
{
    storeFewerRoundTrips(t, "1");
    FakePop3Server first(t.address(), 110);
    first.script(pipelinedSessionScript(messages));
    ControlHost control;
    ScanRun(t.window, control, modGeneral::readSettings(), modGeneral::readEngineSettings(),
            ProgramFolder(t.folder.path()), t.hooks(), remembering())
        .run();
    EXPECT_EQ(first.received().count("RETR " + QByteArray::number(messages.size())), 1);
    EXPECT_EQ(t.exitCode, 0);
    t.infos.clear();
    t.pauses.clear();
    t.exitCode = -1;
}

void rememberTwoCleanMessages(ScanScenario& t)
{
    rememberFirst(t, {{kClean}, {kClean}});
}

// A ClamAV database of the one signature "md5:size:name" of `data`, in the row's folder.
void useClamAvHashOf(ScanScenario& t, const QByteArray& data)
{
    const QString database = t.folder.filePath(QStringLiteral("db"));
    QDir().mkpath(database);
    QFile db(database + QStringLiteral("/custom.hdb"));
    ASSERT_TRUE(db.open(QIODevice::WriteOnly));
    db.write(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex() + ":" +
             QByteArray::number(data.size()) + ":Orsel.Test.Custom\n");
    modGeneral::writeEngineSettings({QStringLiteral("0"), database});
}

const QByteArray kPayload = "a payload ClamAV knows only by its hash, and def.dat not at all\n";
const QByteArray kPayloadMail = testmail::message(
    "attached", testmail::multipart("mixed", "b",
                                    {testmail::base64Attachment(
                                        "payload.bin", "application/octet-stream", kPayload)}));

void makeFifo(const QString& path)
{
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0) << qPrintable(path);
}

// The memory's file of the row's account, as the run leaves it.
QByteArray rememberedFile(const ScanScenario& t)
{
    return fileBytes(
        RememberedMessages(RememberedMessages::defaultFolder(), t.address() + "\nbob", {})
            .filePath());
}

ScanOptions headlessRemembering()
{
    ScanOptions options = remembering();
    options.headless = true;
    return options;
}

const QString kNotHandedOut =
    QStringLiteral("Message %1 was not fully checked:\rThe server did not hand it out.\r\rIt "
                   "stays on the server and is checked again next time.");

const QByteArray kStuffed = "Subject: dots\r\n\r\n..a line that starts with a dot\r\n...\r\nend";
const QByteArray kUnstuffed =
    "Subject: dots\r\n\r\n.a line that starts with a dot\r\n..\r\nend\r\n";
const QByteArray kStuffedQuotedPrintable =
    "Subject: qp\r\nContent-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n"
    "\r\nan evil=\r\n..payload\r\n";

ScanOptions quarantining()
{
    ScanOptions options;
    options.quarantineFolder = QStringLiteral("q"); // made absolute by the row's folder below
    return options;
}

// Another run holds the lock of `kind` ("account" or "folder") of the row's run.
void holdRunLock(ScanScenario& t, const char* kind)
{
    const QString key = QLatin1String(kind) == QLatin1String("account")
                            ? t.address() + QStringLiteral("\nbob")
                            : QFileInfo(t.folder.path()).canonicalFilePath();
    qint64 holder = 0;
    QString error;
    ASSERT_TRUE(t.otherRun.tryTake(
        RunLock::pathFor(RunLock::defaultFolder(), QString::fromLatin1(kind), key), &holder,
        &error))
        << qPrintable(error);
}

// The wait for the other run's lock runs out: it tries again and again, then gives up.
Scenario lockedOutScenario(const char* name, int host, const char* kind)
{
    return {name,
            host,
            "S: +OK\nH:",
            {"Error: Another scan of bob@*"},
            1,
            [kind](ScanScenario& t) {
                holdRunLock(t, kind);
                t.runLockWait = [](const std::function<bool()>& attempt) {
                    return attempt() || attempt();
                };
            },
            [](ScanScenario& t) {
                EXPECT_EQ(t.boxes->texts.value(0), "Error: Another scan of bob@" + t.address() +
                                                       " is running (pid " +
                                                       QString::number(::getpid()) + ").");
                EXPECT_TRUE(t.infos.contains("Waiting for another scan of bob@" + t.address() +
                                             " to end..."));
                EXPECT_EQ(t.connections, 0);
                EXPECT_EQ(t.saved(1), "<missing>");
            }};
}

const QList<QByteArray> kListedLogin = {"CAPA", "USER bob", "PASS pw", "STAT", "UIDL", "LIST"};

const Scenario kScenarios[] = {
    {"CleanMailboxIsSavedAndNothingDeleted",
     21,
     sessionScript({{kClean}, {kClean}}),
     {},
     0,
     nullptr,
     [](ScanScenario& t) {
         EXPECT_EQ(t.saved(1), kClean);
         EXPECT_EQ(t.saved(2), kClean);
         EXPECT_EQ(t.infos.first(), "Messages in mailbox: [2].");
         EXPECT_TRUE(t.infos.contains("Scanning message no: 1..."));
         EXPECT_TRUE(t.infos.contains("Scanning message no: 2...\r\r100% Completed."));
         EXPECT_TRUE(t.infos.contains("Scan of message 2 complete.\r\rNo viruses found."));
         EXPECT_EQ(t.infos.last(), "Scan complete!\r\rClosing in 3 seconds...");
         EXPECT_EQ(t.pauses, (QList<int>{3}));
         EXPECT_EQ(t.sent.last(), "QUIT");
         EXPECT_FALSE(t.sent.join('\n').contains("DELE"));
         EXPECT_EQ(t.window.lblInfo()->text(), "Scan complete!\n\nClosing in 3 seconds...");
     }},
    {"TwoHitsGiveTwoAlertsTwoDeletionsAndTwoPauses",
     22,
     sessionScript({{kTwoHits, 0, 2}}),
     {},
     0,
     nullptr,
     [](ScanScenario& t) {
         EXPECT_EQ(t.pauses, (QList<int>{5, 5, 3}));
         EXPECT_EQ(t.sent.count("DELE 1"), 2);
         // Hits come in definition-file order: the test string first, then "evil payload".
         const QStringList alerts = t.alerts();
         ASSERT_EQ(alerts.size(), 2);
         EXPECT_EQ(alerts[0],
                   "Possible virus found!\r\rVirus Information:\rSearch String found in definition "
                   "file\r[X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*]:"
                   "X5O!P%@AP[4\\PZX54(P^)7CC)7}$EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*\r\rThis "
                   "E-Mail will now be deleted off the server. You can still view the contents of "
                   "this message by viewing the " +
                       t.folder.path() + "/msg1.txt file.");
         EXPECT_TRUE(alerts[1].contains("[evil payload]:line with EVIL PAYLOAD inside"));
         EXPECT_FALSE(t.infos.filter(QStringLiteral("complete.\r\rNo viruses")).size());
     }},
    // 300 K gives no prompt; 301 K asks, and Cancel skips the message entirely.
    {"SizePromptFromThreeHundredAndOneK",
     23,
     sessionScript({{kClean, 299 * 1024}, {kClean, 300 * 1024}}, [](int n) { return n == 2; }),
     {sizePrompt(301, 2)},
     0,
     nullptr,
     [](ScanScenario& t) {
         EXPECT_EQ(t.boxes->title, "Alert!");
         EXPECT_EQ(t.boxes->icon, QMessageBox::NoIcon);
         EXPECT_FALSE(t.sent.contains("RETR 2"));
         EXPECT_EQ(t.saved(2), "<missing>");
         // Not on top while the box shows, back on top after it.
         EXPECT_EQ(t.boxes->watchedOnTop, (QList<bool>{false}));
         EXPECT_TRUE(t.window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
     },
     QMessageBox::Cancel},
    {"SizePromptAnsweredOkFetchesTheMessage",
     24,
     sessionScript({{kClean, 400 * 1024}}),
     {sizePrompt(401, 1)},
     0,
     nullptr,
     [](ScanScenario& t) {
         EXPECT_TRUE(t.sent.contains("RETR 1"));
         EXPECT_EQ(t.saved(1), kClean);
     }},
    {"RefusedLoginEndsAtOnceWithoutABox",
     25,
     "S: +OK\nC:\nS: +OK\nC:\nS: -ERR [AUTH] Authentication failed.",
     {},
     1,
     nullptr,
     [](ScanScenario& t) {
         EXPECT_EQ(t.infos.last(),
                   "Error received from PASS command: -ERR [AUTH] Authentication failed.\r\n");
         EXPECT_TRUE(t.pauses.isEmpty());
     }},
    {"ServerFailingWhileSelectingShowsTheErrorBox",
     26,
     kLogin + "S: +OK 3 99\nC: UIDL 1\nS: -ERR mailbox is gone",
     {"Error: Error using the UIDL command: -ERR mailbox is gone\r\n"},
     1,
     nullptr,
     [](ScanScenario& t) {
         EXPECT_EQ(t.boxes->title, "Error");
         EXPECT_EQ(t.boxes->icon, QMessageBox::Critical);
         EXPECT_FALSE(t.sent.contains("QUIT"));
     }},
    {"MissingDefinitionFileIsAnErrorExitNotACrash",
     27,
     sessionScript({{kTwoHits}}),
     {"Error: Cannot open definition file {folder}/def.dat: No such file or directory"},
     1,
     [](ScanScenario& t) { QFile::remove(t.folder.filePath(QStringLiteral("def.dat"))); },
     [](ScanScenario& t) {
         EXPECT_FALSE(t.sent.join('\n').contains("DELE"));
         EXPECT_FALSE(t.sent.contains("QUIT"));
     }},
    // The server dies in the middle of the message: the file is incomplete, so it is not checked
    // (and not taken for clean).
    {"UnsavableMessageIsAnErrorExitAndNotChecked",
     28,
     kLogin + "S: +OK 1 99\nC: UIDL 1\nS: +OK 1 a\nC: LIST 1\nS: +OK 1 99\nC: TOP 1 0\nS: +OK\n"
              "S: .\nC: RETR 1\nS: +OK\nS: evil payload\nX:",
     {"Error: Error retrieving the message: *"},
     1,
     [](ScanScenario& t) { t.popTimeout = 1; },
     [](ScanScenario& t) { EXPECT_TRUE(t.alerts().isEmpty()); }},
    {"TooManyMessagesIsAClearErrorBeforeTheFirst",
     29,
     kLogin + "S: +OK 40000 1",
     {"Error: The mailbox holds 40000 messages; at most 32767 can be scanned."},
     1,
     nullptr,
     [](ScanScenario& t) { EXPECT_EQ(t.sent.size(), 3); }},
    {"EmptyMailboxClosesAtOnce",
     30,
     sessionScript({}),
     {},
     0,
     nullptr,
     [](ScanScenario& t) {
         EXPECT_EQ(t.infos, (QStringList{"Messages in mailbox: [0].",
                                         "Scan complete!\r\rClosing in 3 seconds..."}));
     }},
    // STLS stays on 110; the refusal ends the run before USER.
    securityScenario("StartTlsOnThePlainPort", 31, "starttls", 110,
                     "S: +OK\nC: STLS\nS: -ERR not here\nH:", {},
                     "Server refused STLS: -ERR not here\r\n", 1, "STLS"),
    // TLS goes to 995; a server there that speaks no TLS gets nothing but the handshake.
    securityScenario("TlsOnItsOwnPort", 32, "tls", 995, "S: +OK\nH:", {},
                     "Secure connection failed: ", 1, nullptr),
    securityScenario("SecurityWordInAnyCase", 33, "TLS", 995, "S: +OK\nH:", {},
                     "Secure connection failed: ", 1, nullptr),
    // Not a mode: named in the error box, and no connection at all.
    securityScenario(
        "UnknownSecurityIsRefusedBeforeConnecting", 34, "ssl", 110, "S: +OK\nH:",
        {"Error: Unknown connection security \"ssl\" in the settings; it must be none, starttls "
         "or tls."},
        "Unknown connection security \"ssl\" in the settings; it must be none, starttls or tls.", 0,
        ""),
    // The token command's first line is the access token; nothing else of its output is used.
    signInScenario("TokenCommandSignsInWithXoauth2", 91, "xoauth2",
                   "printf 'tok-123\\nsecond line\\n'; echo progress >&2",
                   kOfferedXoauth2 + "C: AUTH\nS: +OK\nC: STAT\nS: +OK 0 0\nC: QUIT\nS: +OK\nX:",
                   {}, {"CAPA", kXoauth2Bob, "STAT", "QUIT"}, 0),
    // A failed or silent helper ends the run before any connection, naming itself and its error.
    signInScenario("FailingTokenCommandEndsBeforeConnecting", 92, "XOAUTH2",
                   "echo half-a-token; echo 'invalid_grant: refresh token expired' >&2; exit 3",
                   "S: +OK\nH:",
                   {"Error: The token command \"echo half-a-token; echo 'invalid_grant: refresh "
                    "token expired' >&2; exit 3\" failed with exit status 3: invalid_grant: "
                    "refresh token expired."},
                   {}),
    signInScenario("TokenCommandWithoutOutputEndsBeforeConnecting", 93, "oauthbearer",
                   "echo >&2 nothing cached", "S: +OK\nH:",
                   {"Error: The token command \"echo >&2 nothing cached\" printed no token: "
                    "nothing cached."},
                   {}),
    signInScenario("UnknownSignInMethodIsRefusedBeforeConnecting", 94, "cram-md5", "", "S: +OK\nH:",
                   {"Error: Unknown sign-in method \"cram-md5\" in the settings (Auth); it must "
                    "be password, plain, xoauth2 or oauthbearer."},
                   {}),
    // A server that does not list the method gets nothing secret.
    signInScenario("PlainNotOfferedSendsNoSecret", 95, "plain", "",
                   "S: +OK ready\nC: CAPA\nS: +OK\nS: SASL XOAUTH2\nS: .\nH:", {}, {"CAPA"}),
    // Without the engine keys the encoded test text goes unseen, exactly as before; with Decode
    // it is found in the decoded part, and ClamAV finds the zipped one.
    engineScenario("EnginesOffLeaveEncodedTextToTheRawCheck", 71, "", false,
                   {{kRawAndEncoded, 0, 1}, {zippedEicar()}},
                   {"evil payload]:evil payload in the clear"}),
    engineScenario("DecodedHitsFollowTheRawOnes", 73, "1", false,
                   {{kRawAndEncoded, 0, 2}, {zippedEicar()}},
                   {"evil payload]:evil payload in the clear",
                    testmail::eicar() + "]:readme.txt: " + testmail::eicar()}),
    engineScenario("ClamAvHitsFollowTheDecodedOnes", 74, "1", true,
                   {{kRawAndEncoded, 0, 2}, {zippedEicar(), 0, 1}},
                   {"evil payload]:evil payload in the clear",
                    testmail::eicar() + "]:readme.txt: " + testmail::eicar(),
                    "Orsel.Test.EICAR.UNOFFICIAL]:ClamAV: eicar.com"}),
    // The daemon's hits are the in-process engine's: its name as D, and "ClamAV" as M, since a
    // daemon names no inner file.
    {"ClamdHitsFollowTheDecodedOnes",
     75,
     sessionScript({{kRawAndEncoded, 0, 2}, {zippedEicar(), 0, 1}}),
     {},
     0,
     [](ScanScenario& t) { useClamd(t); },
     [](ScanScenario& t) {
         QStringList shown;
         for (const QString& info : t.alerts()) {
             shown.append(info.section(QLatin1Char('\r'), 4, 4));
         }
         EXPECT_EQ(shown,
                   (QStringList{"[evil payload]:evil payload in the clear",
                                "[" + testmail::eicar() + "]:readme.txt: " + testmail::eicar(),
                                "[Orsel.Test.EICAR.UNOFFICIAL]:ClamAV"}));
         const QString socket = t.clamd->socket();
         ASSERT_GE(t.infos.size(), 2);
         EXPECT_EQ(t.infos[0], "Connecting to the ClamAV daemon at " + socket + "...");
         EXPECT_TRUE(t.infos[1].startsWith("Using the ClamAV daemon ClamAV 1."))
             << qPrintable(t.infos[1]);
         EXPECT_TRUE(t.infos[1].endsWith(" at " + socket)) << qPrintable(t.infos[1]);
     }},
    notFullyCheckedScenario(
        "BeyondTheDaemonsLimitsStaysOnTheServer", 76,
        [](ScanScenario& t) { useClamd(t, {QStringLiteral("AlertExceedsMax yes")}); }),
    notFullyCheckedScenario("BeyondTheInProcessLimitsStaysOnTheServer", 77, useClamAvFolder),
    {"AMissingDaemonStopsBeforeLogin",
     78,
     sessionScript({{kTwoHits, 0, 2}}),
     {"Error: Cannot use the ClamAV daemon at {folder}/none.sock: no such socket"},
     1,
     [](ScanScenario& t) {
         modGeneral::writeEngineSettings(
             {QString(), "clamd:" + t.folder.filePath(QStringLiteral("none.sock"))});
     },
     [](ScanScenario& t) { EXPECT_TRUE(t.sent.isEmpty()); }},
    {"AClamAvDatabaseThatDoesNotLoadStopsBeforeTheFirstMessage",
     72,
     sessionScript({{kTwoHits, 0, 2}}),
     {"Error: Cannot load the ClamAV database in {folder}/no-such-db: *"},
     1,
     [](ScanScenario& t) {
         modGeneral::writeEngineSettings(
             {QStringLiteral("1"), t.folder.filePath(QStringLiteral("no-such-db"))});
     },
     [](ScanScenario& t) { EXPECT_TRUE(t.sent.isEmpty()); }}, // not even logged in
    {"RefusedDeleIsAFailureButNotItsRepeat",
     41,
     kLogin + "S: +OK 2 99\n" + messageSteps(1, {kTwoHits}) +
         "C: DELE 1\nS: +OK marked\nC: DELE 1\nS: -ERR Message is deleted.\n" +
         messageSteps(2, {kOneHit}) + "C: DELE 2\nS: -ERR [SYS/PERM] Cannot mark\n" +
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
     42,
     kLogin + "S: +OK 1 99\n" + messageSteps(1, {kClean}) +
         "C: QUIT\nS: -ERR [SYS/TEMP] Cannot expunge\nX:",
     {"Error: Error received from QUIT command: -ERR [SYS/TEMP] Cannot expunge\r\n"},
     1},
    {"ProgramFolderThatIsNotUtf8",
     43,
     kLogin + "S: +OK 1 99\n" + messageSteps(1, {kOneHit}) +
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
         EXPECT_EQ(t.alerts().size(), 1);
     }},
    {"HitTextShortenedInTheMiddleToFitTheLabel",
     44,
     kLogin + "S: +OK 1 99\n" +
         messageSteps(1, {"Subject: x\r\n\r\nbefore " + kLongDefinition + " after"}) +
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
         const QStringList alerts = t.alerts();
         ASSERT_EQ(alerts.size(), 1);
         EXPECT_TRUE(alerts[0].contains("[" + kLongDefinition + "]:before " + kLongDefinition));
     }},
    // One RETR per message after one CAPA and two bursts, and the same files and alerts.
    {"FewerRoundTripsFetchEachMessageWithOneRetr",
     46,
     pipelinedSessionScript(kFiveWithHits),
     {},
     0,
     [](ScanScenario& t) { storeFewerRoundTrips(t, "1"); },
     [](ScanScenario& t) {
         EXPECT_EQ(t.sent, (kListedLogin + QList<QByteArray>{"RETR 1", "RETR 2", "DELE 2", "RETR 3",
                                                             "RETR 4", "DELE 4", "DELE 4", "RETR 5",
                                                             "QUIT"}));
         for (int n = 1; n <= kFiveWithHits.size(); ++n) {
             EXPECT_EQ(t.saved(n), kFiveWithHits[n - 1].text) << n;
         }
         EXPECT_EQ(t.alerts().size(), 3);
         EXPECT_EQ(t.pauses, (QList<int>{5, 5, 5, 3}));
     }},
    // Remembered messages are skipped from the listing: not selected, not fetched.
    {"RememberedRescanSelectsNothingItRemembers",
     47,
     pipelinedSessionScript({{kClean}, {kClean}, {kOneHit, 0, 1}}, {1, 2}),
     {},
     0,
     rememberTwoCleanMessages,
     [](ScanScenario& t) {
         EXPECT_EQ(t.sent, (kListedLogin + QList<QByteArray>{"RETR 3", "DELE 3", "QUIT"}));
         EXPECT_FALSE(t.infos.contains("Scanning message no: 1..."));
         EXPECT_TRUE(t.infos.contains("Scanning message no: 3..."));
         EXPECT_EQ(t.alerts().size(), 1);
     },
     QMessageBox::Ok,
     110,
     remembering()},
    // An id the server gives out again for other content (or a message number as id): the size
    // tells, and the message is checked again.
    {"RememberedIdOfAnotherSizeIsCheckedAgain",
     87,
     pipelinedSessionScript({{kClean}, {kOneHit, 3000, 1}}, {1}),
     {},
     0,
     rememberTwoCleanMessages,
     [](ScanScenario& t) {
         EXPECT_EQ(t.sent, (kListedLogin + QList<QByteArray>{"RETR 2", "DELE 2", "QUIT"}));
         EXPECT_EQ(t.alerts().size(), 1);
         EXPECT_TRUE(rememberedFile(t).endsWith("\nid1 1\n")) << rememberedFile(t).constData();
     },
     QMessageBox::Ok,
     110,
     remembering()},
    // A custom database replaced by one of as many signatures: ClamAV's version, time and count
    // stay 0, 0 and 1, but what it finds clean is not what the old one found.
    {"ReplacedClamAvDatabaseOfTheSameCountForgetsTheMemory",
     88,
     pipelinedSessionScript({{kPayloadMail, 0, 1}}),
     {},
     0,
     [](ScanScenario& t) {
         useClamAvHashOf(t, "some other payload");
         rememberFirst(t, {{kPayloadMail}});
         useClamAvHashOf(t, kPayload);
     },
     [](ScanScenario& t) {
         EXPECT_EQ(t.sent, (kListedLogin + QList<QByteArray>{"RETR 1", "DELE 1", "QUIT"}));
         ASSERT_EQ(t.alerts().size(), 1);
         EXPECT_TRUE(t.alerts()[0].contains("[Orsel.Test.Custom.UNOFFICIAL]:ClamAV"))
             << qPrintable(t.alerts()[0]);
     },
     QMessageBox::Ok,
     110,
     remembering()},
    // One run per account and per saved-files folder: a second one waits, then gives up
    // before it logs in; one whose wait sees the other end runs as ever.
    lockedOutScenario("AnotherRunOnTheAccountIsWaitedForThenRefused", 89, "account"),
    lockedOutScenario("AnotherRunSavingIntoTheFolderIsWaitedForThenRefused", 90, "folder"),
    {"RunWaitsForTheOtherRunToEnd",
     91,
     sessionScript({{kClean}}),
     {},
     0,
     [](ScanScenario& t) {
         holdRunLock(t, "account");
         t.runLockWait = [&t](const std::function<bool()>& attempt) {
             const bool lockedOut = !attempt();
             t.otherRun.release();
             return lockedOut && attempt();
         };
     },
     [](ScanScenario& t) {
         EXPECT_EQ(t.saved(1), kClean);
         EXPECT_EQ(t.sent.last(), "QUIT");
     }},
    // "Security=" with no value may be a typo for "tls": no login without TLS for it.
    {"EmptySecurityValueIsRefusedBeforeConnecting",
     92,
     "S: +OK\nH:",
     {"Error: The connection security \"Security=\" in the settings is empty; it must be *"},
     1,
     [](ScanScenario&) {
         QSettings file(modGeneral::settingsFilePath(), QSettings::IniFormat);
         file.setValue(QStringLiteral("Settings/Security"), QString());
     },
     [](ScanScenario& t) { EXPECT_EQ(t.connections, 0); }},
    // The wire stuffs a dot before each line that starts with one, and the saved file keeps the
    // stuffing; ClamAV (here by the hash of the whole message) and the quarantine get the message
    // as it was sent: stuffed dots removed, last line ended.
    {"EnginesAndQuarantineGetTheMessageAsItWasSent",
     93,
     sessionScript({{kStuffed, 0, 1}}),
     {},
     0,
     [](ScanScenario& t) { useClamAvHashOf(t, kUnstuffed); },
     [](ScanScenario& t) {
         ASSERT_EQ(t.alerts().size(), 1);
         EXPECT_TRUE(t.alerts()[0].contains("[Orsel.Test.Custom.UNOFFICIAL]:ClamAV"));
         const QDir quarantine(t.folder.filePath(QStringLiteral("q")));
         const QStringList kept = quarantine.entryList(QDir::Files);
         ASSERT_EQ(kept.size(), 1);
         EXPECT_EQ(fileBytes(quarantine.filePath(kept[0])), kUnstuffed);
         EXPECT_EQ(QDir(t.folder.path()).entryList(QDir::Files | QDir::Hidden),
                   QStringList{"def.dat"});
     },
     QMessageBox::Ok,
     110,
     quarantining()},
    // A quoted-printable line broken before a dot: decoded from the wire's bytes, the stuffed dot
    // would split what the definition names.
    {"DecodedCheckReadsTheMessageAsItWasSent",
     94,
     sessionScript({{kStuffedQuotedPrintable, 0, 1}}),
     {},
     0,
     [](ScanScenario& t) {
         t.writeDefinitions("evil.payload\r\n");
         modGeneral::writeEngineSettings({QStringLiteral("1"), QString()});
     },
     [](ScanScenario& t) {
         ASSERT_EQ(t.alerts().size(), 1);
         EXPECT_TRUE(t.alerts()[0].contains("[evil.payload]:text/plain: an evil.payload"))
             << qPrintable(t.alerts()[0]);
         EXPECT_EQ(t.saved(1), kStuffedQuotedPrintable);
     }},
    {"UnknownFewerRoundTripsValueIsRefusedBeforeConnecting",
     48,
     "S: +OK\nH:",
     {"Error: Unknown value \"yes\" of FewerRoundTrips in the settings; it must be 0 or 1."},
     1,
     [](ScanScenario& t) { storeFewerRoundTrips(t, "yes"); },
     [](ScanScenario& t) { EXPECT_EQ(t.connections, 0); }},
    // A server without UIDL says "no such command": the control's marker stands in for the id and
    // the file. Nothing was fetched, so nothing is clean and no made-up id is remembered.
    {"MessageNeverHandedOutIsNotCheckedNorRemembered",
     81,
     kLogin + "S: +OK 2 99\nC: UIDL 1\nS: -ERR no such command\nC: LIST 1\nS: +OK 1 100\n" +
         "C: TOP 1 0\nS: +OK\nS: .\n" + messageSteps(2, {kClean}) + "C: QUIT\nS: +OK bye\nX:",
     {},
     exitstatus::NotFullyChecked,
     nullptr,
     [](ScanScenario& t) {
         EXPECT_TRUE(t.infos.contains(kNotHandedOut.arg(1))) << qPrintable(t.infos.join("\n--\n"));
         EXPECT_FALSE(t.infos.contains("Scan of message 1 complete.\r\rNo viruses found."));
         EXPECT_TRUE(t.infos.contains("Scan of message 2 complete.\r\rNo viruses found."));
         EXPECT_FALSE(t.sent.contains("RETR 1"));
         const QByteArray memory = rememberedFile(t);
         EXPECT_TRUE(memory.contains("\nid2 1\n")) << memory.constData();
         EXPECT_FALSE(memory.contains("bob:")) << memory.constData();
     },
     QMessageBox::Ok,
     110,
     headlessRemembering()},
    // Another client removed message 2 between TOP and RETR: it is left for the next run, and
    // the run still ends with QUIT, so message 1's deletion is carried out.
    {"MessageGoneBeforeRetrKeepsTheRunAndItsDeletions",
     82,
     kLogin + "S: +OK 2 99\n" + messageSteps(1, {kOneHit, 0, 1}) +
         "C: UIDL 2\nS: +OK 2 id2\nC: LIST 2\nS: +OK 2 50\nC: TOP 2 0\nS: +OK\nS: .\n" +
         "C: RETR 2\nS: -ERR No such message\nC: QUIT\nS: +OK bye\nX:",
     {},
     0,
     nullptr,
     [](ScanScenario& t) {
         EXPECT_TRUE(t.infos.contains(kNotHandedOut.arg(2))) << qPrintable(t.infos.join("\n--\n"));
         EXPECT_EQ(t.alerts().size(), 1);
         EXPECT_EQ(t.sent.last(), "QUIT");
         EXPECT_EQ(t.saved(2), "Unable to retrieve");
     }},
    // Files a user may point elsewhere: a FIFO would hang the run (and its window), a device feed
    // it without end. Each is refused, naming the file.
    {"DefinitionFileThatIsAFifo",
     83,
     sessionScript({{kClean}}),
     {"Error: Cannot open definition file {folder}/def.dat: not a regular file"},
     1,
     [](ScanScenario& t) {
         QFile::remove(t.folder.filePath(QStringLiteral("def.dat")));
         makeFifo(t.folder.filePath(QStringLiteral("def.dat")));
     }},
    {"ClamAvDatabaseEntryThatIsAFifo",
     84,
     sessionScript({{kClean}}),
     {"Error: Cannot load the ClamAV database in {folder}/db: {folder}/db/evil.hdb is not a "
      "regular file"},
     1,
     [](ScanScenario& t) {
         useClamAvFolder(t);
         makeFifo(t.folder.filePath(QStringLiteral("db/evil.hdb")));
     },
     [](ScanScenario& t) { EXPECT_TRUE(t.sent.isEmpty()); }},
    {"MemoryFileThatIsAFifoIsNoMemory",
     85,
     sessionScript({{kClean}}),
     {},
     0,
     [](ScanScenario& t) {
         const RememberedMessages memory(RememberedMessages::defaultFolder(), t.address() + "\nbob",
                                         {});
         QDir().mkpath(RememberedMessages::defaultFolder());
         makeFifo(memory.filePath());
     },
     [](ScanScenario& t) { EXPECT_TRUE(rememberedFile(t).contains("\nid1 1\n")); },
     QMessageBox::Ok,
     110,
     remembering()},
    {"CaFileThatIsAFifo",
     86,
     "S: +OK\nH:",
     {},
     1,
     [](ScanScenario& t) {
         makeFifo(t.folder.filePath(QStringLiteral("ca.fifo")));
         modGeneral::writeSettings({t.address(), QStringLiteral("bob"), QStringLiteral("pw"),
                                    QStringLiteral("tls"),
                                    t.folder.filePath(QStringLiteral("ca.fifo"))});
     },
     [](ScanScenario& t) {
         EXPECT_EQ(t.infos.last(), "Secure connection failed: Cannot read CA file " +
                                       t.folder.filePath(QStringLiteral("ca.fifo")) +
                                       ": not a regular file");
         EXPECT_EQ(t.connections, 0);
     },
     QMessageBox::Ok,
     995},
    {"RunTimeErrorBoxIsNotHiddenBehindTheWindow",
     45,
     kLogin + "S: +OK 0 0\nH:",
     {"Run-time error '5':\n\nInvalid call"},
     2,
     [](ScanScenario& t) {
         // A run-time fault of the run, as a failed call of the control would raise it.
         t.pauseOverride = [](int) { throw RuntimeFault{5, QStringLiteral("Invalid call")}; };
     },
     [](ScanScenario& t) { EXPECT_EQ(t.boxes->watchedOnTop, (QList<bool>{false})); }},
};

} // namespace

TEST_P(ScanScenario, Run)
{
    const Scenario& scenario = GetParam();
    window.setTopmost(true);
    boxes = std::make_unique<BoxAnswerer>(scenario.answer, &window);
    if (scenario.arrange) {
        scenario.arrange(*this);
        if (HasFatalFailure()) {
            return;
        }
    }
    FakePop3Server server(address(), scenario.port);
    server.script(scenario.script);
    ASSERT_TRUE(server.isListening())
        << "port " << scenario.port << " of " << qPrintable(address());
    ControlHost control;
    if (popTimeout) {
        control.put(0x6803000E /* POPTimeout */, automation::Variant::fromInt16(*popTimeout));
    }
    ScanOptions options = scenario.options;
    if (!options.quarantineFolder.isEmpty() && QDir::isRelativePath(options.quarantineFolder)) {
        options.quarantineFolder = folder.filePath(options.quarantineFolder);
    }
    ScanRun run(window, control, modGeneral::readSettings(), modGeneral::readEngineSettings(),
                programFolder ? *programFolder : ProgramFolder(folder.path()), hooks(), options);
    run.run();
    sent = server.received();
    connections = server.connectionCount();
    // The real program ends without destroying the control; here it is destroyed, and must not
    // find a session to close.
    server.dropClient();
    EXPECT_EQ(exitCode, scenario.exitCode);
    expectBoxes(scenario.boxes);
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

// A FIFO as the settings file would hang both programs before their first word.
TEST(ScanSettings, SettingsFileThatIsNotARegularFileIsRefused)
{
    const QString path = modGeneral::settingsFilePath();
    QFile::remove(path);
    QDir().mkpath(QFileInfo(path).path());
    makeFifo(path);
    Scan window;
    int exitCode = -1;
    QString shown;
    ScanHooks hooks = ScanHooks::real();
    hooks.endProgram = [&](int code) { exitCode = code; };
    hooks.showError = [&](QWidget*, const QString& text) { shown = text; };
    startUp(window, QDir::currentPath(), hooks);
    QProcess settings;
    settings.start(QStringLiteral(SETTINGS_PATH), {"--address", "a", "--user", "u", "--pass", "p"});
    const bool finished = settings.waitForFinished(10000);
    QFile::remove(path);
    modGeneral::writeSettings({QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("p")});
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(shown, "Error: Cannot read settings file " + path + ": not a regular file");
    EXPECT_FALSE(window.isVisible());
    ASSERT_TRUE(finished);
    EXPECT_EQ(settings.exitCode(), 1);
    EXPECT_EQ(settings.readAllStandardError(),
              "settings: Cannot read settings file " + path.toUtf8() + ": not a regular file\n");
}

TEST(ScanSettings, SettingsProgramRefusesLineBreaksAndReadsThePasswordFromStandardInput)
{
    const struct {
        const char* name;
        QStringList arguments;
        QByteArray input;
        int exitCode;
        QString storedPass;        // after the call
        const char* said = "";     // in what it writes to standard error
        mode_t mode = 0600;        // of the settings file before the call
        bool throughShell = false; // the arguments are for sh -c, $0 being the program
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
        // Bytes that are no UTF-8 would be stored as U+FFFD: another password than the one given.
        {"password from standard input that is no UTF-8",
         {"--address", "a", "--user", "u", "--pass", "-"},
         "p\xffw\n",
         2,
         "before",
         "must be UTF-8 text"},
        {"user name that is no UTF-8",
         {"-c", "exec \"$0\" --address a --user \"$(printf 'u\\377')\" --pass p", SETTINGS_PATH},
         {},
         2,
         "before",
         "must be UTF-8 text",
         0600,
         true},
        // It holds the password: others reading it is worth a word, and the word says what to do.
        {"settings file readable by others",
         {"--decode", "0"},
         {},
         0,
         "before",
         "holds the password and others may read it; chmod 600 ",
         0644},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        modGeneral::writeSettings(
            {QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("before")});
        ::chmod(QFile::encodeName(modGeneral::settingsFilePath()).constData(), c.mode);
        QProcess settings;
        settings.start(c.throughShell ? QStringLiteral("/bin/sh") : QStringLiteral(SETTINGS_PATH),
                       c.arguments);
        ASSERT_TRUE(settings.waitForStarted(5000));
        settings.write(c.input);
        settings.closeWriteChannel();
        ASSERT_TRUE(settings.waitForFinished(10000));
        const QByteArray said = settings.readAllStandardError();
        EXPECT_EQ(settings.exitCode(), c.exitCode) << said.constData();
        EXPECT_TRUE(said.contains(c.said)) << said.constData();
        EXPECT_EQ(modGeneral::readSettings().pass, c.storedPass);
    }
}
