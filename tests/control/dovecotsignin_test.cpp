// SASL sign-in against a real Dovecot, plain, over TLS and after STLS: PLAIN against the
// passwd-file, XOAUTH2 and OAUTHBEARER with bearer tokens the test signs with the fixture's key
// (which Dovecot checks locally). A signed-in session reads the mailbox; a lapsed token, another
// user's token or a wrong password gives 36 with Dovecot's reply and the status of its error
// challenge; the trace shows neither token nor password.
#include "control/vorlane.h"
#include "tests/dovecot/dovecotserver.h"
#include "tests/dovecot/mailbox.h"
#include "tests/dovecot/testmessage.h"
#include "tests/support/filebytes.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

constexpr const char* kRefused = "Sign-in refused: -ERR [AUTH] Authentication failed.";

enum class Secret { Password, WrongPassword, Token, LapsedToken, OtherUsersToken };

struct Case {
    const char* name;
    qint16 authentication;
    Secret secret;
    QByteArray errorText; // "" when the sign-in succeeds
};

const Case kCases[] = {
    {"plain", Vorlane::AuthenticationPlain, Secret::Password, ""},
    {"plain, wrong password", Vorlane::AuthenticationPlain, Secret::WrongPassword, kRefused},
    {"xoauth2", Vorlane::AuthenticationXoauth2, Secret::Token, ""},
    {"xoauth2, lapsed token", Vorlane::AuthenticationXoauth2, Secret::LapsedToken,
     QByteArray(kRefused) + " (status: 401)"},
    {"xoauth2, another user's token", Vorlane::AuthenticationXoauth2, Secret::OtherUsersToken,
     QByteArray(kRefused) + " (status: 401)"},
    {"oauthbearer", Vorlane::AuthenticationOauthbearer, Secret::Token, ""},
    {"oauthbearer, lapsed token", Vorlane::AuthenticationOauthbearer, Secret::LapsedToken,
     QByteArray(kRefused) + " (status: invalid_token)"},
    {"oauthbearer, another user's token", Vorlane::AuthenticationOauthbearer,
     Secret::OtherUsersToken, QByteArray(kRefused) + " (status: invalid_token)"},
};

struct Security {
    const char* name;
    qint16 value;
};

const Security kSecurities[] = {{"plain", Vorlane::SecurityNone},
                                {"TLS", Vorlane::SecurityTls},
                                {"STLS", Vorlane::SecurityStls}};

QByteArray secretFor(Secret secret, const dovecot::DovecotServer& server,
                     const dovecot::Mailbox& mailbox, const dovecot::Mailbox& other)
{
    switch (secret) {
    case Secret::Password:
        return mailbox.password().toUtf8();
    case Secret::WrongPassword:
        return "not-" + mailbox.password().toUtf8();
    case Secret::Token:
        return server.bearerToken(mailbox.user());
    case Secret::LapsedToken:
        return server.bearerToken(mailbox.user(), -120);
    case Secret::OtherUsersToken:
        return server.bearerToken(other.user());
    }
    return {};
}

} // namespace

TEST(DovecotSignIn, EveryMethodOverEverySecurity)
{
    const dovecot::DovecotServer server = dovecot::DovecotServer::fromEnvironment();
    const dovecot::Mailbox mailbox = server.createMailbox(u"signin");
    const dovecot::Mailbox other = server.createMailbox(u"signin-other");
    const QByteArray message = dovecot::makeMessage({"Subject: for OAuth"}, "hello\n");
    mailbox.addMessage(message);
    QTemporaryDir dir;
    for (const Security& security : kSecurities) {
        for (const Case& c : kCases) {
            SCOPED_TRACE(std::string(c.name) + " over " + security.name);
            const QByteArray secret = secretFor(c.secret, server, mailbox, other);
            const QString trace = dir.filePath(QStringLiteral("trace.txt"));
            QFile::remove(trace);
            Vorlane pop;
            pop.setDebugFile(QFile::encodeName(trace));
            pop.setDebugMode(true);
            pop.setPOPHostname(server.address().toLatin1());
            pop.setPOPPort(security.value == Vorlane::SecurityTls ? server.tlsPort()
                                                                  : server.port());
            pop.setPOPSecurity(security.value);
            pop.setPOPCAFile(QFile::encodeName(server.caFile()));
            pop.setPOPUsername(mailbox.user().toUtf8());
            pop.setPOPPassword(secret);
            pop.setPOPAuthentication(c.authentication);
            pop.Connect();
            EXPECT_EQ(pop.ErrorText(), c.errorText);
            EXPECT_TRUE(pop.ServerCapabilities().contains("SASL PLAIN LOGIN OAUTHBEARER XOAUTH2"))
                << pop.ServerCapabilities().constData();
            if (c.errorText.isEmpty()) {
                EXPECT_EQ(pop.MsgCount(), 1);
                qint16 first = 1;
                pop.SetCurrentMsg(first);
                QByteArray saved = QFile::encodeName(dir.filePath(QStringLiteral("m.txt")));
                pop.WriteCurrentMsgToFile(saved);
                const QByteArray file = fileBytes(QString::fromLocal8Bit(saved));
                EXPECT_TRUE(file.contains("Subject: for OAuth\r\n") && file.contains("\r\nhello"))
                    << file.constData();
                pop.Disconnect();
                EXPECT_EQ(pop.Error(), 0);
            } else {
                EXPECT_EQ(pop.Error(), 36);
                EXPECT_EQ(pop.Status(), 0);
            }
            const QByteArray traced = fileBytes(trace);
            EXPECT_FALSE(traced.contains(secret));
            EXPECT_FALSE(traced.contains(secret.toBase64().left(40)));
        }
    }
}
