// The ClamAV daemon as an engine, against Debian's clamd started here with a database of one
// signature: found by descriptor and, through a relay that passes none, as a stream; messages
// beyond its limits are not fully checked; a daemon that is missing, silent or killed costs a
// bounded wait and never a clean verdict.
#include "scanner/clamav/clamdconfig.h"
#include "scanner/clamav/clamdengine.h"
#include "scanner/clamav/clamdreply.h"
#include "tests/support/clamdserver.h"
#include "tests/support/overlimitmail.h"
#include "tests/support/testmail.h"

#include <QFile>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

namespace scanner {
namespace {

using namespace testmail;

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    QFile file(dir.filePath(name));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return file.fileName();
}

QByteArray zippedEicarMail()
{
    return message("zipped", base64Attachment("test.zip", "application/zip",
                                              deflatedZip("eicar.com", eicar())));
}

std::string text(const QString& value)
{
    return value.toStdString();
}

TEST(ClamdReply, EveryAnswerIsCleanFoundOrAnError)
{
    const struct {
        QByteArray record;
        ClamdReply::Kind kind;
        QByteArray subject;
        QByteArray text;
    } cases[] = {
        {"fd[11]: OK", ClamdReply::Kind::Clean, "fd[11]", "fd[11]: OK"},
        {"stream: Orsel.Test.EICAR.UNOFFICIAL FOUND", ClamdReply::Kind::Found, "stream",
         "Orsel.Test.EICAR.UNOFFICIAL"},
        {"fd[7]: Heuristics.Limits.Exceeded.MaxFiles FOUND", ClamdReply::Kind::Found, "fd[7]",
         "Heuristics.Limits.Exceeded.MaxFiles"},
        {"INSTREAM size limit exceeded. ERROR", ClamdReply::Kind::Error, "",
         "INSTREAM size limit exceeded. ERROR"},
        {"No file descriptor received. ERROR", ClamdReply::Kind::Error, "",
         "No file descriptor received. ERROR"},
        {"UNKNOWN COMMAND", ClamdReply::Kind::Error, "", "UNKNOWN COMMAND"},
        {"fd[11]: lstat() failed: Permission denied. ERROR", ClamdReply::Kind::Error, "fd[11]",
         "fd[11]: lstat() failed: Permission denied. ERROR"},
        // Neither names what it is about: no verdict on any file.
        {"OK", ClamdReply::Kind::Error, "", "OK"},
        {"Can't allocate memory FOUND", ClamdReply::Kind::Error, "", "Can't allocate memory FOUND"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.record.toStdString());
        const ClamdReply reply = parseClamdReply(c.record);
        EXPECT_EQ(reply.kind, c.kind);
        EXPECT_EQ(reply.subject, c.subject);
        EXPECT_EQ(reply.text, c.text);
    }
    EXPECT_EQ(clamdRecords(QByteArray("PONG", 5)), QByteArrayList{"PONG"});
    EXPECT_EQ(clamdRecords(QByteArray("a\0b\0", 4)), (QByteArrayList{"a", "b"}));
    EXPECT_EQ(clamdRecords(QByteArray("a\0cut", 5)), QByteArrayList{"a"});
    EXPECT_EQ(clamdRecords({}), QByteArrayList{});
}

TEST(ClamdConfig, TheSettingNamesTheSystemsDaemonOrASocket)
{
    QTemporaryDir dir;
    const struct {
        const char* name;
        QByteArray config; // empty: no file
        QString socket;
        bool reportsLimits;
    } configs[] = {
        {"Debian's",
         "# Automatically generated\nLocalSocket /var/run/clamav/clamd.ctl\n"
         "FixStaleSocket true\nLocalSocketGroup clamav\nMaxFiles 10000\n",
         "/var/run/clamav/clamd.ctl", false},
        {"tabs, and the later line wins",
         "LocalSocket /a.sock\nAlertExceedsMax yes\nLocalSocket\t /b.sock \n", "/b.sock", true},
        {"commented out", "#LocalSocket /a.sock\n#AlertExceedsMax yes\nTCPSocket 3310\n",
         "/run/clamav/clamd.ctl", false},
        {"turned on, then off", "AlertExceedsMax true\nAlertExceedsMax no\n",
         "/run/clamav/clamd.ctl", false},
        {"no file", {}, "/run/clamav/clamd.ctl", false},
    };
    for (const auto& c : configs) {
        SCOPED_TRACE(c.name);
        const QString path = c.config.isEmpty()
                                 ? dir.filePath(QStringLiteral("missing.conf"))
                                 : writeFile(dir, QStringLiteral("clamd.conf"), c.config);
        EXPECT_EQ(clamdSocketNamed(QStringLiteral("clamd"), path), c.socket);
        EXPECT_EQ(clamdReportsLimits(path), c.reportsLimits);
    }
    EXPECT_EQ(clamdSocketNamed(QStringLiteral("clamd:/srv/clamd.sock")), "/srv/clamd.sock");
    EXPECT_EQ(clamdSocketNamed(QStringLiteral("/var/lib/clamav")), std::nullopt);
    EXPECT_EQ(clamdSocketNamed(QStringLiteral("default")), std::nullopt);
    EXPECT_EQ(clamdSocketNamed(QStringLiteral("clamdb")), std::nullopt);
}

TEST(ClamdEngine, FindsTheZippedTestFileByDescriptorAndAsAStream)
{
    ClamdServer clamd;
    QString why;
    ASSERT_TRUE(clamd.start(&why)) << text(why);
    const DescriptorlessRelay relay(clamd.socket());
    ASSERT_FALSE(relay.socket().isEmpty()) << "the relay did not start";
    QTemporaryDir dir;
    const QString zipped = writeFile(dir, QStringLiteral("zipped.txt"), zippedEicarMail());
    const QString clean =
        writeFile(dir, QStringLiteral("clean.txt"),
                  message("clean", base64Attachment("a.txt", "text/plain", "harmless\r\n")));

    for (const QString& socket : {clamd.socket(), relay.socket()}) {
        SCOPED_TRACE(text(socket));
        ClamdEngine engine(socket);
        ASSERT_TRUE(engine.connect(&why)) << text(why);
        EXPECT_TRUE(engine.version().startsWith("ClamAV 1.")) << engine.version().constData();
        EXPECT_EQ(engine.fingerprint(),
                  "daemon=" + QFile::encodeName(socket) + ";version=" + engine.version());
        for (int round = 0; round < 2; ++round) { // the second after the relay's refusal
            const ClamAvVerdict found = engine.scanFile(zipped);
            ASSERT_EQ(found.found.size(), 1u);
            EXPECT_EQ(found.found[0].signature, "Orsel.Test.EICAR.UNOFFICIAL");
            EXPECT_EQ(found.found[0].innerFile, "");
            EXPECT_EQ(text(found.notFullyChecked), "");
        }
        const ClamAvVerdict nothing = engine.scanFile(clean);
        EXPECT_TRUE(nothing.found.empty());
        EXPECT_EQ(text(nothing.notFullyChecked), "");
    }
}

TEST(ClamdEngine, MessagesBeyondTheDaemonsLimitsAreNotFullyCheckedUntilItsLimitsAreRaised)
{
    ClamdServer clamd(
        {QStringLiteral("StreamMaxLength 1M"), QStringLiteral("AlertExceedsMax yes")});
    QString why;
    ASSERT_TRUE(clamd.start(&why)) << text(why);
    QTemporaryDir dir;
    const std::vector<OverLimitMessage> messages = writeOverLimitMessages(dir.path());
    ASSERT_EQ(messages.size(), 3u) << "python3 could not build the zips";
    ClamdEngine engine(clamd.socket());
    ASSERT_TRUE(engine.connect(&why)) << text(why);
    for (const OverLimitMessage& message : messages) {
        SCOPED_TRACE(message.limit.toStdString());
        const ClamAvVerdict verdict = engine.scanFile(message.path);
        EXPECT_TRUE(verdict.found.empty());
        EXPECT_EQ(text(verdict.notFullyChecked),
                  "ClamAV stopped at one of its limits (Heuristics.Limits.Exceeded." +
                      message.limit.toStdString() + ")");
    }

    // As a stream, the daemon takes no more than StreamMaxLength: 1.5 MB, clean, is too much.
    const DescriptorlessRelay relay(clamd.socket());
    ClamdEngine streaming(relay.socket(), {2000, 5000, 30000, 0, 100}); // no retries: one try
    ASSERT_TRUE(streaming.connect(&why)) << text(why);
    const QString long_ = writeFile(
        dir, QStringLiteral("long.txt"),
        message("long", part({"Content-Type: text/plain"}, QByteArray(1536 * 1024, 'a'))));
    const ClamAvVerdict cut = streaming.scanFile(long_);
    EXPECT_TRUE(cut.found.empty());
    EXPECT_EQ(text(cut.notFullyChecked), text(QStringLiteral("The ClamAV daemon at %1 answered "
                                                             "\"INSTREAM size limit exceeded. "
                                                             "ERROR\"")
                                                  .arg(relay.socket())));

    ClamdServer raised({QStringLiteral("AlertExceedsMax yes"), QStringLiteral("MaxFileSize 200M"),
                        QStringLiteral("MaxScanSize 400M")});
    ASSERT_TRUE(raised.start(&why)) << text(why);
    ClamdEngine unlimited(raised.socket());
    ASSERT_TRUE(unlimited.connect(&why)) << text(why);
    const ClamAvVerdict big = unlimited.scanFile(messages.back().path);
    ASSERT_EQ(big.found.size(), 1u) << text(big.notFullyChecked);
    EXPECT_EQ(big.found[0].signature, "Orsel.Test.EICAR.UNOFFICIAL");
}

// Short limits of the test's own: the defaults wait up to a minute for a daemon that reloads.
const ClamdEngine::Limits kShort{2000, 1000, 5000, 1500, 100};

TEST(ClamdEngine, AMissingSilentOrKilledDaemonCostsABoundedWaitAndNeverACleanVerdict)
{
    QTemporaryDir dir;
    QString why;
    ClamdEngine missing(dir.filePath(QStringLiteral("none.sock")), kShort);
    EXPECT_FALSE(missing.connect(&why));
    EXPECT_EQ(text(why), text(QStringLiteral("Cannot use the ClamAV daemon at %1: no such socket")
                                  .arg(dir.filePath(QStringLiteral("none.sock")))));

    // It accepts (the kernel does, for a listening socket) and never says a word.
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(dir.filePath(QStringLiteral("silent.sock"))));
    ClamdEngine mute(silent.fullServerName(), kShort);
    EXPECT_FALSE(mute.connect(&why));
    EXPECT_EQ(text(why), text(QStringLiteral("Cannot use the ClamAV daemon at %1: no answer "
                                             "within 1 s")
                                  .arg(silent.fullServerName())));

    ClamdServer clamd;
    ASSERT_TRUE(clamd.start(&why)) << text(why);
    const QString zipped = writeFile(dir, QStringLiteral("zipped.txt"), zippedEicarMail());
    ClamdEngine engine(clamd.socket(), kShort);
    ASSERT_TRUE(engine.connect(&why)) << text(why);
    ASSERT_EQ(engine.scanFile(zipped).found.size(), 1u);
    clamd.kill(); // between two messages; its socket file stays behind
    const ClamAvVerdict gone = engine.scanFile(zipped);
    EXPECT_TRUE(gone.found.empty());
    EXPECT_EQ(text(gone.notFullyChecked),
              text(QStringLiteral("The ClamAV daemon at %1 went away (connection refused (is the "
                                  "daemon running?)) and did not come back within 2 s")
                       .arg(clamd.socket())));
    ClamdEngine stale(clamd.socket(), kShort);
    EXPECT_FALSE(stale.connect(&why));
    EXPECT_TRUE(why.endsWith(QStringLiteral(": connection refused (is the daemon running?)")));

    // Started again while the engine waits for it, as a service manager restarts it: the
    // message in hand is checked after all.
    ClamdEngine patient(clamd.socket(), {2000, 1000, 5000, 60000, 100});
    bool restarted = false;
    QTimer::singleShot(300, [&] { restarted = clamd.start(&why); });
    const ClamAvVerdict back = patient.scanFile(zipped);
    EXPECT_TRUE(restarted) << text(why);
    ASSERT_EQ(back.found.size(), 1u) << text(back.notFullyChecked);
}

} // namespace
} // namespace scanner
