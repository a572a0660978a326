// The control over TLS and STLS against a real Dovecot: whole sessions with files byte for byte,
// servers that must not be trusted (unknown CA, another name, an expired certificate), which end
// with 32 before Dovecot sees any login attempt, and the system's store behind a CA file.
#include "control/vorlane.h"
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/testmessage.h"
#include "tests/support/filebytes.h"
#include "tests/support/waitfor.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

namespace {

class DovecotTlsTest : public ::testing::Test {
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

class SecureSessionTest : public DovecotTlsTest, public ::testing::WithParamInterface<Mode> {};

} // namespace

TEST_P(SecureSessionTest, FilesArriveByteForByteOverTheSecureChannel)
{
    const QList<QByteArray> messages = {
        dovecot::makeMessage({"Subject: empty"}, ""),
        dovecot::makeMessage({"Subject: one line"}, "just this\n"),
        dovecot::makeMessageOfSize(5 * 1024 * 1024, 6),
        dovecot::makeMessageOfSize(50 * 1024 * 1024, 7),
    };
    for (const QByteArray& message : messages) {
        mailbox.addMessage(message);
    }
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    pop.setDebugFile(QFile::encodeName(trace));
    pop.setDebugMode(true);
    configure(GetParam().security, server.address().toLatin1(), server.caFile());
    pop.Connect();
    ASSERT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
    EXPECT_EQ(pop.MsgCount(), messages.size());
    EXPECT_TRUE(pop.SecureConnectionInfo().startsWith("TLSv1."))
        << pop.SecureConnectionInfo().data();
    EXPECT_EQ(pop.GetStringValueOfProperty("SecureConnectionInfo"), pop.SecureConnectionInfo());
    pop.setDebugMode(false);
    for (qint16 n = 1; n <= messages.size(); ++n) {
        pop.SetCurrentMsg(n);
        QByteArray path = QFile::encodeName(dir.filePath(QStringLiteral("msg%1.txt").arg(n)));
        pop.WriteCurrentMsgToFile(path);
        ASSERT_EQ(pop.Error(), 0) << pop.ErrorText().constData();
        const QByteArray expected = dovecot::pop3Body(messages[n - 1]);
        const QByteArray got = fileBytes(QString::fromLocal8Bit(path));
        EXPECT_EQ(got.size(), expected.size()) << "message " << n;
        EXPECT_TRUE(got == expected) << "message " << n;
    }
    pop.Disconnect();
    EXPECT_EQ(pop.Error(), 0);
    EXPECT_EQ(pop.SecureConnectionInfo(), "");
    const QByteArray traced = fileBytes(trace);
    EXPECT_TRUE(traced.contains("secure connection established: TLSv1.")) << traced.constData();
    EXPECT_FALSE(traced.contains(mailbox.password().toUtf8()));
    // Dovecot saw the login, and saw it over TLS.
    EXPECT_TRUE(waitFor(
        [&] { return server.log().contains("Login: user=<" + mailbox.user().toUtf8() + ">"); }));
}

INSTANTIATE_TEST_SUITE_P(Modes, SecureSessionTest,
                         ::testing::Values(Mode{"Tls", Vorlane::SecurityTls},
                                           Mode{"Stls", Vorlane::SecurityStls}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DovecotTlsTest, UntrustedServersGetNoLogin)
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
TEST_F(DovecotTlsTest, ExpiredCertificateGetsNoLogin)
{
    for (const qint16 security : {Vorlane::SecurityTls, Vorlane::SecurityStls}) {
        expectRefusal(security, server.address().toLatin1(), server.caFile(), "expired");
    }
}

// A CA file that does not vouch for the server leaves the decision to the system's store, with
// the same name check. SSL_CERT_DIR stands in for the system's hashed certificate directory.
TEST_F(DovecotTlsTest, ServerTheCaFileDoesNotNameIsCheckedAgainstTheSystemStore)
{
    const auto run = [](const QStringList& arguments) {
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), arguments);
        return openssl.waitForFinished(30000) && openssl.exitCode() == 0;
    };
    const QString unrelatedCa = dir.filePath(QStringLiteral("unrelated.pem"));
    ASSERT_TRUE(run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                     "-nodes", "-keyout", dir.filePath(QStringLiteral("unrelated.key")), "-out",
                     unrelatedCa, "-subj", "/CN=Unrelated CA", "-days", "2"}));
    const QString withFixtureCa = dir.filePath(QStringLiteral("system-with"));
    const QString withoutFixtureCa = dir.filePath(QStringLiteral("system-without"));
    QDir().mkpath(withFixtureCa);
    QDir().mkpath(withoutFixtureCa);
    ASSERT_TRUE(QFile::copy(server.caFile(), withFixtureCa + QStringLiteral("/fixture.pem")));
    ASSERT_TRUE(run({"rehash", withFixtureCa}));
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
