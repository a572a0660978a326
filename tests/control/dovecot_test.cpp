// The control against a real Dovecot POP3 server, plain and over TLS and STLS: login, selection,
// sizes, headers, retrieval into memory and into files byte for byte, deletion marks committed or
// reset; and servers that must not be trusted (unknown CA, another name, an expired certificate),
// which end with 32 before Dovecot sees any login attempt, with the system's store behind a CA
// file.
#include "control/vorlane.h"
#include "control/vorlaneinterface.h"
#include "control/vorlaneobject.h"
#include "platform/automation/ref.h"
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/rawpop3.h"
#include "tests/dovecot/systemstore.h"
#include "tests/dovecot/testmessage.h"
#include "tests/support/filebytes.h"
#include "tests/support/waitfor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

namespace {

class DovecotTest : public ::testing::Test {
protected:
    dovecot::DovecotServer server = dovecot::DovecotServer::fromEnvironment();
    dovecot::Mailbox mailbox = server.createMailbox(
        QString::fromLatin1(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    Vorlane pop;
    QTemporaryDir dir;

    void configure(qint16 security, const QByteArray& host, const QString& caFile)
    {
        pop.setPOPHostname(host);
        pop.setPOPPort(security == Vorlane::SecurityTls ? server.tlsPort() : server.port());
        pop.setPOPUsername(mailbox.user().toUtf8());
        pop.setPOPPassword(mailbox.password().toUtf8());
        pop.setPOPSecurity(security);
        pop.setPOPCAFile(QFile::encodeName(caFile));
    }
    // Logs in, over TLS trusting the fixture's CA when `security` asks for it.
    void connect(qint16 security = Vorlane::SecurityNone)
    {
        configure(security, server.address().toLatin1(),
                  security == Vorlane::SecurityNone ? QString() : server.caFile());
        pop.Connect();
        ASSERT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
    }
    void select(qint16 number)
    {
        pop.SetCurrentMsg(number);
        ASSERT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
    }
    QByteArray writeToFile(qint16 number)
    {
        select(number);
        QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("msg%1.txt").arg(number)));
        pop.WriteCurrentMsgToFile(path);
        EXPECT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
        return fileBytes(QString::fromLocal8Bit(path));
    }
    dovecot::RawPop3 raw() const
    {
        return dovecot::RawPop3(server, mailbox.user(), mailbox.password());
    }

    qsizetype handshakesSeen() const { return server.log().count("(no auth attempts"); }
    // A refused connection leaves Dovecot's log with one more session that made no attempt, and
    // nowhere the user's name (which every login attempt, good or bad, logs).
    void expectNoLoginAttempt(qsizetype sessionsBefore)
    {
        EXPECT_TRUE(waitFor([&] { return handshakesSeen() > sessionsBefore; }))
            << server.log().right(600).constData();
        EXPECT_FALSE(server.log().contains("user=<" + mailbox.user().toUtf8() + ">"));
    }
    // Connect must end with 32 naming `reason`, and the server must see no login attempt.
    void expectRefusal(qint16 security, const QByteArray& host, const QString& caFile,
                       const char* reason)
    {
        SCOPED_TRACE(std::string(reason) + " " + host.toStdString() + " " +
                     std::to_string(security));
        const qsizetype before = handshakesSeen();
        configure(security, host, caFile);
        pop.Connect();
        EXPECT_EQ(pop.Error(), 32);
        EXPECT_TRUE(pop.ErrorText().startsWith("Secure connection failed: "));
        EXPECT_TRUE(pop.ErrorText().contains(reason)) << pop.ErrorText().constData();
        EXPECT_EQ(pop.Status(), 0);
        expectNoLoginAttempt(before);
    }
};

struct Mode {
    const char* name;
    qint16 security;
};

class DovecotSessionTest : public DovecotTest, public ::testing::WithParamInterface<Mode> {};

} // namespace

TEST_F(DovecotTest, LoginReadsTheGreetingAndTheStatistics)
{
    mailbox.addMessage(dovecot::makeMessageOfSize(500));
    mailbox.addMessage(dovecot::makeMessageOfSize(700, 1));
    const QByteArray greeting = dovecot::RawPop3(server).greeting();
    connect();
    EXPECT_EQ(pop.Status(), 1);
    EXPECT_EQ(pop.MsgCount(), 2);
    EXPECT_EQ(pop.ConnectResponse().left(10), greeting.left(10));
    EXPECT_FALSE(pop.ConnectResponse().endsWith("\r\n"));
    pop.Disconnect();
    EXPECT_EQ(pop.Status(), 0);
    EXPECT_EQ(pop.Error(), 0);
}

TEST_F(DovecotTest, WrongPasswordGivesDovecotsReplyAsDetail)
{
    configure(Vorlane::SecurityNone, server.address().toLatin1(), QString());
    pop.setPOPPassword("wrong");
    pop.Connect();
    EXPECT_EQ(pop.Error(), 15);
    EXPECT_EQ(pop.ErrorText(),
              "Error received from PASS command: -ERR [AUTH] Authentication failed.\r\n");
    EXPECT_EQ(pop.Status(), 0);
}

TEST_F(DovecotTest, ConnectWhileConnectedAndBlankSettings)
{
    connect();
    pop.Connect();
    EXPECT_EQ(pop.Error(), 13);
    EXPECT_EQ(pop.Status(), 0);
    pop.setPOPHostname("");
    pop.Connect();
    EXPECT_EQ(pop.Error(), 16);
    pop.setPOPHostname(server.address().toLatin1());
    pop.setPOPUsername(" ");
    pop.Connect();
    EXPECT_EQ(pop.Error(), 17);
}

TEST_F(DovecotTest, UnknownHostGivesTheSocketsNumberAndDescription)
{
    // A label over 63 characters is refused before any lookup leaves the machine.
    pop.setPOPHostname(QByteArray(64, 'x') + ".invalid");
    pop.setPOPUsername("bob");
    pop.Connect();
    EXPECT_EQ(pop.Error(), 11001);
    EXPECT_EQ(pop.ErrorText(), "Authoritative answer: Host not found");
}

TEST_F(DovecotTest, UniqueIdsAndSizesAreDovecots)
{
    const QList<qint64> sizes = {1023, 1024, 65535, 65536};
    for (int i = 0; i < sizes.size(); ++i) {
        mailbox.addMessage(dovecot::makeMessageOfSize(sizes[i], i));
    }
    dovecot::RawPop3 truth = raw();
    const QMap<int, QByteArray> uidls = truth.uidl();
    const QMap<int, qint64> octets = truth.list();
    truth.quit();
    connect();
    const QList<qint32> expectedK = {1, 2, 64, 65};
    for (qint16 n = 1; n <= 4; ++n) {
        select(n);
        EXPECT_EQ(pop.MsgUniqueID(), uidls.value(n));
        EXPECT_EQ(octets.value(n), sizes[n - 1]);
        EXPECT_EQ(pop.MsgSizeInK(), expectedK[n - 1]) << n;
    }
}

TEST_F(DovecotTest, HeadersComeFromTop)
{
    mailbox.addMessage(dovecot::makeMessage(
        {"From: Alice <a@example.org>", "Subject: Greetings", "X-Long: one", "\tcontinued"},
        "Body text\n"));
    connect();
    select(1);
    EXPECT_EQ(pop.MsgHeaders(), "From: Alice <a@example.org>\r\nSubject: Greetings\r\n"
                                "X-Long: one\r\n\tcontinued\r\n");
    EXPECT_EQ(pop.MsgSubject(), "Greetings");
    EXPECT_EQ(pop.MsgFrom(), "Alice <a@example.org>");
    EXPECT_EQ(pop.GetOtherHeader("x-long"), "one");
}

TEST_F(DovecotTest, InMemoryRetrievalUpToSixtyFourK)
{
    const QByteArray fits = dovecot::makeMessageOfSize(65535, 3);
    mailbox.addMessage(fits);
    mailbox.addMessage(dovecot::makeMessageOfSize(65536, 4));
    connect();
    select(1);
    pop.RetrieveCurrentMsg();
    EXPECT_EQ(pop.Error(), 0);
    const QByteArray wire = dovecot::pop3Body(fits);
    const qsizetype blank = wire.indexOf("\r\n\r\n");
    EXPECT_EQ(pop.MsgContents(), wire.mid(blank + 4));
    select(2);
    pop.RetrieveCurrentMsg();
    EXPECT_EQ(pop.Error(), 0);
    EXPECT_TRUE(pop.MsgContents().startsWith("This message is too large (>64K)"));
}

TEST_F(DovecotTest, DeletionIsCommittedByDisconnectOnly)
{
    const QByteArray first = mailbox.addMessage(dovecot::makeMessageOfSize(300, 1));
    const QByteArray second = mailbox.addMessage(dovecot::makeMessageOfSize(300, 2));
    const QByteArray third = mailbox.addMessage(dovecot::makeMessageOfSize(300, 3));
    connect();
    select(1);
    pop.DeleteCurrentMsg();
    EXPECT_EQ(pop.Error(), 0);
    pop.DeleteCurrentMsg(); // Dovecot refuses a second mark; the session stays
    EXPECT_EQ(pop.Error(), 26);
    EXPECT_TRUE(pop.ErrorText().startsWith("Error using the DELE (delete) command: -ERR"));
    EXPECT_EQ(pop.Status(), 1);
    select(2);
    pop.DeleteCurrentMsg();
    pop.ResetDeletedMsgs();
    EXPECT_EQ(pop.Error(), 0);
    select(3);
    pop.DeleteCurrentMsg();
    pop.Disconnect();
    EXPECT_TRUE(mailbox.containsMessage(first));
    EXPECT_TRUE(mailbox.containsMessage(second));
    EXPECT_FALSE(mailbox.containsMessage(third));
}

TEST_F(DovecotTest, ReleasingAConnectedObjectCommitsThroughQuit)
{
    const QByteArray only = mailbox.addMessage(dovecot::makeMessageOfSize(300));
    {
        auto object = automation::makeRef<VorlaneObject>();
        Vorlane& control = object->control();
        control.setPOPHostname(server.address().toLatin1());
        control.setPOPPort(server.port());
        control.setPOPUsername(mailbox.user().toUtf8());
        control.setPOPPassword(mailbox.password().toUtf8());
        control.Connect();
        ASSERT_EQ(control.Status(), 1);
        qint16 one = 1;
        control.SetCurrentMsg(one);
        control.DeleteCurrentMsg();
        ASSERT_EQ(control.Error(), 0);
    } // the deletion is committed only if QUIT was sent
    EXPECT_FALSE(mailbox.containsMessage(only));
}

// Plain, or over TLS from the first byte or after STLS: every file holds what Dovecot sent, from
// an empty message to 50 MiB, and the trace shows the secure session but never the password.
TEST_P(DovecotSessionTest, FilesHoldExactlyWhatTheServerSent)
{
    const QList<QByteArray> messages = {
        dovecot::makeMessage({"Subject: empty"}, ""),
        dovecot::makeMessage({"Subject: one line"}, "just this\n"),
        dovecot::makeMessageOfSize(64 * 1024, 5),
        dovecot::makeMessageOfSize(5 * 1024 * 1024, 6),
        dovecot::makeMessageOfSize(50 * 1024 * 1024, 7),
    };
    for (const QByteArray& message : messages) {
        mailbox.addMessage(message);
    }
    dovecot::RawPop3 truth = raw();
    QList<QByteArray> sent;
    for (int n = 1; n <= messages.size(); ++n) {
        sent.append(truth.retrBody(n));
    }
    truth.quit();
    const bool secure = GetParam().security != Vorlane::SecurityNone;
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    pop.setDebugFile(QFile::encodeName(trace));
    pop.setDebugMode(true);
    connect(GetParam().security);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(pop.MsgCount(), messages.size());
    EXPECT_EQ(pop.SecureConnectionInfo().startsWith("TLSv1."), secure)
        << pop.SecureConnectionInfo().data();
    EXPECT_EQ(pop.GetStringValueOfProperty("SecureConnectionInfo"), pop.SecureConnectionInfo());
    pop.setDebugMode(false);
    for (qint16 n = 1; n <= messages.size(); ++n) {
        const QByteArray file = writeToFile(n);
        EXPECT_EQ(file.size(), sent[n - 1].size()) << "message " << n;
        EXPECT_TRUE(file == sent[n - 1]) << "message " << n;
    }
    pop.Disconnect();
    EXPECT_EQ(pop.Error(), 0);
    EXPECT_EQ(pop.SecureConnectionInfo(), "");
    const QByteArray traced = fileBytes(trace);
    EXPECT_EQ(traced.contains("secure connection established: TLSv1."), secure)
        << traced.constData();
    EXPECT_FALSE(traced.contains(mailbox.password().toUtf8()));
    // Dovecot saw the login, and saw it over TLS when asked to.
    EXPECT_TRUE(waitFor(
        [&] { return server.log().contains("Login: user=<" + mailbox.user().toUtf8() + ">"); }));
}

namespace {

// What a session gave the host, and the commands it sent.
struct SessionOutcome {
    QList<QByteArray> ids, headers, files;
    QList<qint32> sizes;
    QList<QByteArray> commands;
};

QList<QByteArray> commandsInTrace(const QByteArray& trace)
{
    QList<QByteArray> commands;
    for (const QByteArray& line : trace.split('\n')) {
        if (line.startsWith("Sending command:")) {
            commands.append(line.mid(16).chopped(1));
        }
    }
    return commands;
}

} // namespace

// The same mailbox with and without POPFewerRoundTrips: byte for byte the same ids, sizes,
// headers and files, for one RETR per message after one CAPA (over TLS once secure), one login
// burst and one listing burst. Headers beyond the capture cost a TOP.
TEST_P(DovecotSessionTest, FewerRoundTripsGiveTheSameMessages)
{
    const QList<QByteArray> messages = {
        dovecot::makeMessage(
            {"From: Alice <a@example.org>", "Subject: Greetings", "X-Long: one", "\tcontinued"},
            "Body\n.dot line\n..two dots\n"),
        dovecot::makeMessageOfSize(200 * 1024, 3),
        "X-Only: header\nX-Two: no empty line\n",
        dovecot::makeMessage({"Subject: empty body"}, ""),
        "\nNo header lines at all.\n",
        dovecot::makeMessage({"Subject: big headers", "X-Big: " + QByteArray(70 * 1024, 'h')},
                             "body\n"),
    };
    for (const QByteArray& message : messages) {
        mailbox.addMessage(message);
    }
    const auto session = [&](bool fewer) {
        configure(GetParam().security, server.address().toLatin1(),
                  GetParam().security == Vorlane::SecurityNone ? QString() : server.caFile());
        const QString trace = dir.filePath(QStringLiteral("trace%1.txt").arg(fewer));
        pop.setDebugFile(QFile::encodeName(trace));
        pop.setDebugMode(true);
        pop.setPOPFewerRoundTrips(fewer);
        pop.Connect();
        EXPECT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
        SessionOutcome out;
        for (qint16 n = 1; n <= messages.size(); ++n) {
            select(n);
            out.ids.append(pop.MsgUniqueID());
            out.sizes.append(pop.MsgSizeInK());
            out.files.append(writeToFile(n));
            out.headers.append(pop.MsgHeaders());
        }
        pop.Disconnect();
        out.commands = commandsInTrace(fileBytes(trace));
        return out;
    };
    const SessionOutcome classic = session(false);
    const SessionOutcome fewer = session(true);
    EXPECT_EQ(fewer.ids, classic.ids);
    EXPECT_EQ(fewer.sizes, classic.sizes);
    EXPECT_EQ(fewer.headers, classic.headers);
    EXPECT_EQ(fewer.files.size(), classic.files.size());
    for (int i = 0; i < classic.files.size(); ++i) {
        EXPECT_TRUE(fewer.files[i] == classic.files[i]) << "message " << i + 1;
    }
    QList<QByteArray> expected = {
        "CAPA", "USER " + mailbox.user().toUtf8(), "PASS ****", "STAT", "UIDL", "LIST"};
    if (GetParam().security == Vorlane::SecurityStls) {
        expected.prepend("STLS");
    }
    for (int n = 1; n <= messages.size(); ++n) {
        expected.append("RETR " + QByteArray::number(n));
    }
    expected.append({"TOP 6 0", "QUIT"}); // the headers that did not fit the capture
    EXPECT_EQ(fewer.commands, expected);
    EXPECT_EQ(classic.commands.count("TOP 1 0"), 1);
}

INSTANTIATE_TEST_SUITE_P(Modes, DovecotSessionTest,
                         ::testing::Values(Mode{"Plain", Vorlane::SecurityNone},
                                           Mode{"Tls", Vorlane::SecurityTls},
                                           Mode{"Stls", Vorlane::SecurityStls}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DovecotTest, UntrustedServersGetNoLogin)
{
    struct Case {
        qint16 security;
        QByteArray host;
        bool trustFixtureCa;
        const char* reason;
    };
    const QByteArray address = server.address().toLatin1();
    const Case cases[] = {
        {Vorlane::SecurityTls, address, false, "issuer certificate"},
        {Vorlane::SecurityStls, address, false, "issuer certificate"},
        // The certificate names the address and pop.fixture.test, not localhost.
        {Vorlane::SecurityTls, "localhost", true, "host name did not match"},
        {Vorlane::SecurityStls, "localhost", true, "host name did not match"},
    };
    for (const Case& c : cases) {
        expectRefusal(c.security, c.host, c.trustFixtureCa ? server.caFile() : QString(), c.reason);
    }
}

// Runs against the fixture whose certificate has expired.
TEST_F(DovecotTest, ExpiredCertificateGetsNoLogin)
{
    for (const qint16 security : {Vorlane::SecurityTls, Vorlane::SecurityStls}) {
        expectRefusal(security, server.address().toLatin1(), server.caFile(), "expired");
    }
}

// A CA file that does not vouch for the server leaves the decision to the system's store, with
// the same name check. SSL_CERT_DIR stands in for the system's hashed certificate directory.
TEST_F(DovecotTest, ServerTheCaFileDoesNotNameIsCheckedAgainstTheSystemStore)
{
    const QString unrelatedCa = systemstore::makeUnrelatedCa(dir.path());
    ASSERT_FALSE(unrelatedCa.isEmpty());
    const QString withFixtureCa = dir.filePath(QStringLiteral("system-with"));
    const QString withoutFixtureCa = dir.filePath(QStringLiteral("system-without"));
    ASSERT_TRUE(systemstore::makeStore(withFixtureCa, {server.caFile()}));
    ASSERT_TRUE(systemstore::makeStore(withoutFixtureCa, {}));
    const QByteArray address = server.address().toLatin1();
    const QByteArray savedDir = qgetenv("SSL_CERT_DIR");
    for (const qint16 security : {Vorlane::SecurityTls, Vorlane::SecurityStls}) {
        // The refusals first: a login of this user, once made, would hide an attempt.
        qputenv("SSL_CERT_DIR", QFile::encodeName(withoutFixtureCa));
        expectRefusal(security, address, unrelatedCa, "issuer certificate");
        qputenv("SSL_CERT_DIR", QFile::encodeName(withFixtureCa));
        expectRefusal(security, "localhost", unrelatedCa, "host name did not match");
    }
    for (const qint16 security : {Vorlane::SecurityTls, Vorlane::SecurityStls}) {
        configure(security, address, unrelatedCa);
        pop.Connect();
        EXPECT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
        EXPECT_EQ(pop.Status(), 1);
        pop.Disconnect();
    }
    savedDir.isNull() ? qunsetenv("SSL_CERT_DIR") : qputenv("SSL_CERT_DIR", savedDir);
}
