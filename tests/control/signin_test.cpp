// SASL sign-in against the scripted fake server: what each method puts on the wire (with the
// response on the AUTH line or after "+ "), servers that do not offer the method (35, nothing
// secret sent), error challenges answered as RFC 7628 says and refusals (36 with the status),
// a silent server, a trace without secrets; and the two members.
#include "control/saslresponse.h"
#include "control/vorlane.h"
#include "control/vorlaneobject.h"
#include "platform/automation/memorypropertybag.h"
#include "platform/automation/ref.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/filebytes.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using automation::RuntimeError;
using automation::Variant;

namespace {

const QByteArray kLongToken(2000, 't');
const QByteArray kToken = "s3cr3t-t0k3n";

struct SignInCase {
    const char* name;
    qint16 authentication;
    QByteArray user;
    QByteArray secret;
    QString script; // after the greeting
    QList<QByteArray> sent;
    qint16 error;
    QByteArray errorText;
    qint16 timeout = 3;
    bool fewerRoundTrips = false;
};

void PrintTo(const SignInCase& c, std::ostream* out)
{
    *out << c.name;
}

const QString kCapa = QStringLiteral("C: CAPA\nS: +OK\nS: USER\nS: SASL PLAIN XOAUTH2 OAUTHBEARER\n"
                                     "S: .\n");
// Nothing but STAT after the sign-in: CAPA for the method brings no listings.
const QString kSignedIn =
    QStringLiteral("S: +OK signed in\nC: STAT\nS: +OK 2 320\nC: QUIT\nS: +OK\nX:");
// {"status":"invalid_token"} and {"status":"401","schemes":"bearer","scope":"mail"}
const QString kInvalidToken = QStringLiteral("S: + eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIn0=\n");
const QString kStatus401 =
    QStringLiteral("S: + eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJtYWlsIn0=\n");
const QString kRefused = QStringLiteral("S: -ERR [AUTH] Authentication failed.\nH:");

QByteArray xoauth2(const QByteArray& user, const QByteArray& token)
{
    return ("user=" + user + "\x01" + "auth=Bearer " + token + "\x01\x01").toBase64();
}

const SignInCase kCases[] = {
    {"PlainOnTheAuthLine",
     Vorlane::AuthenticationPlain,
     "bob",
     "pa55word",
     kCapa + "C: AUTH\n" + kSignedIn,
     {"CAPA", "AUTH PLAIN AGJvYgBwYTU1d29yZA==", "STAT", "QUIT"},
     0,
     ""},
    {"Xoauth2OnTheAuthLine",
     Vorlane::AuthenticationXoauth2,
     "bob",
     kToken,
     kCapa + "C: AUTH\n" + kSignedIn,
     {"CAPA", "AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgczNjcjN0LXQwazNuAQE=", "STAT", "QUIT"},
     0,
     ""},
    // The method's name in CAPA in any letter case; the response asked for by a bare "+".
    {"LongTokenAfterTheContinuation",
     Vorlane::AuthenticationXoauth2,
     "bob",
     kLongToken,
     "C: CAPA\nS: +OK\nS: sasl xoauth2\nS: .\nC: AUTH\nS: +\nC: response\n" + kSignedIn,
     {"CAPA", "AUTH XOAUTH2", xoauth2("bob", kLongToken), "STAT", "QUIT"},
     0,
     ""},
    {"LongTokenAfterAnEmptyChallenge",
     Vorlane::AuthenticationXoauth2,
     "bob",
     kLongToken,
     kCapa + "C: AUTH\nS: +\\x20\nC: response\n" + kSignedIn,
     {"CAPA", "AUTH XOAUTH2", xoauth2("bob", kLongToken), "STAT", "QUIT"},
     0,
     ""},
    {"NoCapa",
     Vorlane::AuthenticationXoauth2,
     "bob",
     kToken,
     "C: CAPA\nS: -ERR what?\nH:",
     {"CAPA"},
     35,
     "Sign-in method not offered by the server: no CAPA"},
    {"CapaWithoutTheMethod",
     Vorlane::AuthenticationXoauth2,
     "bob",
     kToken,
     "C: CAPA\nS: +OK\nS: SASL PLAIN LOGIN\nS: USER\nS: .\nH:",
     {"CAPA"},
     35,
     "Sign-in method not offered by the server: SASL PLAIN LOGIN"},
    {"CapaWithoutSasl",
     Vorlane::AuthenticationPlain,
     "bob",
     "pa55word",
     "C: CAPA\nS: +OK\nS: USER\nS: .\nH:",
     {"CAPA"},
     35,
     "Sign-in method not offered by the server: no SASL line"},
    {"OauthbearerErrorChallengeAnsweredWithAQ",
     Vorlane::AuthenticationOauthbearer,
     "bob",
     kToken,
     kCapa + "C: AUTH\n" + kInvalidToken + "C: AQ==\n" + kRefused,
     {"CAPA", "<AUTH OAUTHBEARER>", "AQ=="},
     36,
     "Sign-in refused: -ERR [AUTH] Authentication failed. (status: invalid_token)"},
    {"Xoauth2ErrorChallengeAnsweredWithAnEmptyLine",
     Vorlane::AuthenticationXoauth2,
     "bob",
     kToken,
     kCapa + "C: AUTH\n" + kStatus401 + "C: empty\n" + kRefused,
     {"CAPA", "AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgczNjcjN0LXQwazNuAQE=", ""},
     36,
     "Sign-in refused: -ERR [AUTH] Authentication failed. (status: 401)"},
    {"ChallengeThenSilence",
     Vorlane::AuthenticationOauthbearer,
     "bob",
     kToken,
     kCapa + "C: AUTH\n" + kInvalidToken + "C: AQ==\nH:",
     {"CAPA", "<AUTH OAUTHBEARER>", "AQ=="},
     36,
     "Sign-in refused: Program determining timeout error (status: invalid_token)",
     1},
    {"SecondChallengeIsNotAnswered",
     Vorlane::AuthenticationXoauth2,
     "bob",
     kToken,
     kCapa + "C: AUTH\n" + kStatus401 + "C: empty\n" + kStatus401 + "H:",
     {"CAPA", "AUTH XOAUTH2 dXNlcj1ib2IBYXV0aD1CZWFyZXIgczNjcjN0LXQwazNuAQE=", ""},
     36,
     "Sign-in refused: + eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIiwic2NvcGUiOiJtYWlsIn0= "
     "(status: 401)"},
    {"PlainRefusedAtOnce",
     Vorlane::AuthenticationPlain,
     "bob",
     "wrong",
     kCapa + "C: AUTH\n" + kRefused,
     {"CAPA", "AUTH PLAIN AGJvYgB3cm9uZw=="},
     36,
     "Sign-in refused: -ERR [AUTH] Authentication failed."},
    {"PlainChallengedIsCancelled",
     Vorlane::AuthenticationPlain,
     "bob",
     "pa55word",
     kCapa + "C: AUTH\nS: + what\nC: *\n" + kRefused,
     {"CAPA", "AUTH PLAIN AGJvYgBwYTU1d29yZA==", "*"},
     36,
     "Sign-in refused: -ERR [AUTH] Authentication failed."},
    {"SeparatorInTheTokenSendsNothingSecret",
     Vorlane::AuthenticationXoauth2,
     "bob",
     kToken + "\x01user=eve",
     kCapa + "H:",
     {"CAPA"},
     36,
     "Sign-in refused: a field separator in the user name or the token"},
    // One CAPA serves both the method and the pipelining; STAT, UIDL and LIST go as one.
    {"WithFewerRoundTrips",
     Vorlane::AuthenticationPlain,
     "bob",
     "pa55word",
     "C: CAPA\nS: +OK\nS: PIPELINING\nS: SASL PLAIN\nS: .\nC: AUTH\nS: +OK\nC: STAT\nC: UIDL\n"
     "C: LIST\nS: +OK 0 0\nS: +OK\nS: .\nS: +OK\nS: .\nC: QUIT\nS: +OK\nX:",
     {"CAPA", "AUTH PLAIN AGJvYgBwYTU1d29yZA==", "STAT", "UIDL", "LIST", "QUIT"},
     0,
     "",
     3,
     true},
};

class SaslSignIn : public ::testing::TestWithParam<SignInCase> {};

} // namespace

TEST_P(SaslSignIn, WireErrorAndTrace)
{
    const SignInCase& c = GetParam();
    FakePop3Server server;
    server.script("S: +OK ready\n" + c.script);
    QTemporaryDir dir;
    Vorlane v;
    v.setDebugFile(QFile::encodeName(dir.filePath("trace.txt")));
    v.setDebugMode(true);
    v.setPOPHostname("127.0.0.1");
    v.setPOPPort(server.port());
    v.setPOPUsername(c.user);
    v.setPOPPassword(c.secret);
    v.setPOPTimeout(c.timeout);
    v.setPOPAuthentication(c.authentication);
    v.setPOPFewerRoundTrips(c.fewerRoundTrips);
    v.Connect();
    EXPECT_EQ(v.Error(), c.error) << v.ErrorText().constData();
    EXPECT_EQ(v.ErrorText(), c.errorText);
    EXPECT_EQ(v.Status(), c.error == 0 ? 1 : 0);
    if (v.Status() == 1) {
        v.Disconnect();
    }
    QList<QByteArray> sent = server.received();
    const QByteArray trace = fileBytes(dir.filePath("trace.txt"));
    if (sent.size() > 1) {
        EXPECT_TRUE(trace.contains("Sending command:" + sent[1].left(sent[1].indexOf(' ', 5))));
    }
    EXPECT_FALSE(trace.contains(c.secret)) << c.secret.constData();
    for (const QByteArray& line : sent) {
        if (line.size() > 20) { // a response, on the AUTH line or on its own
            EXPECT_FALSE(trace.contains(line.mid(line.lastIndexOf(' ') + 1)));
        }
    }
    if (sent.size() > 1 && sent[1].startsWith("AUTH OAUTHBEARER ")) {
        // The response names the server's port, which the fake server picks.
        EXPECT_EQ(QByteArray::fromBase64(sent[1].mid(17)),
                  "n,a=bob,\x01host=127.0.0.1\x01port=" + QByteArray::number(server.port()) +
                      "\x01" + "auth=Bearer " + kToken + "\x01\x01");
        sent[1] = "<AUTH OAUTHBEARER>";
    }
    EXPECT_EQ(sent, c.sent);
}

INSTANTIATE_TEST_SUITE_P(Methods, SaslSignIn, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SaslResponse, ResponseGoesOnTheAuthLineUpTo255OctetsWithItsLineEnd)
{
    // "AUTH XOAUTH2 " is 13 octets, CR LF 2: a response of 240 octets makes 255.
    for (const qsizetype length : {239, 240, 241}) {
        const saslresponse::AuthCommand command =
            saslresponse::authCommand(saslresponse::Mechanism::Xoauth2, QByteArray(length, 'A'));
        EXPECT_EQ(command.carriesResponse, length <= 240) << length;
        EXPECT_EQ(command.line.size() + 2, length <= 240 ? 15 + length : 14) << length;
    }
}

TEST(SaslResponse, OauthbearerEscapesTheUserNameOfItsGs2Header)
{
    EXPECT_EQ(saslresponse::gs2Escaped("a,b=c=,"), "a=2Cb=3Dc=3D=2C");
    const auto response = saslresponse::clientResponse(saslresponse::Mechanism::Oauthbearer,
                                                       {"a,b=c", "tok", "pop.example.org", 995});
    ASSERT_TRUE(response);
    EXPECT_EQ(*response, "n,a=a=2Cb=3Dc,\x01host=pop.example.org\x01port=995\x01"
                         "auth=Bearer tok\x01\x01");
    // A NUL in a PLAIN password would move the password's start; ^A would add a bearer field.
    EXPECT_FALSE(saslresponse::clientResponse(saslresponse::Mechanism::Plain,
                                              {"bob", QByteArray("p\0w", 3)}));
    EXPECT_TRUE(saslresponse::clientResponse(saslresponse::Mechanism::Plain, {"bob", "p\x01w"}));
    EXPECT_FALSE(saslresponse::clientResponse(saslresponse::Mechanism::Oauthbearer,
                                              {"bob\x01", "tok", "h", 1}));
    EXPECT_EQ(saslresponse::challengeStatus("{\"status\":401}"), "401");
    EXPECT_EQ(saslresponse::challengeStatus("not json"), "");
    EXPECT_EQ(saslresponse::challengeText("+ not base64!"), "");
}

TEST(SaslSignInMembers, ConvertRefusePersistAndReadAsText)
{
    auto object = automation::makeRef<VorlaneObject>();
    const qint32 authentication = *object->idOfName("POPAuthentication");
    auto get = [&](qint32 id) { return object->get(id).value; };
    EXPECT_EQ(get(authentication), Variant::fromInt16(0));
    EXPECT_EQ(get(*object->idOfName("ServerCapabilities")), Variant::fromString(""));
    EXPECT_EQ(object->put(authentication, Variant::fromInt16(4)).error,
              RuntimeError::InvalidProcedureCall);
    EXPECT_EQ(object->put(authentication, Variant::fromInt32(-1)).error,
              RuntimeError::InvalidProcedureCall);
    EXPECT_EQ(object->put(authentication, Variant::fromString("x")).error,
              RuntimeError::TypeMismatch);
    EXPECT_FALSE(
        object->put(*object->idOfName("ServerCapabilities"), Variant::fromString("")).ok());
    EXPECT_EQ(get(authentication), Variant::fromInt16(0));

    automation::MemoryPropertyBag plain;
    object->embeddedControl()->writeProperties(plain);
    EXPECT_TRUE(plain.read("POPAuthentication").isEmpty()); // a classic control saves its five

    ASSERT_TRUE(object->put(authentication, Variant::fromString("3")).ok());
    automation::MemoryPropertyBag bag;
    object->embeddedControl()->writeProperties(bag);
    EXPECT_EQ(bag.read("POPAuthentication"), Variant::fromInt16(3));
    auto restored = automation::makeRef<VorlaneObject>();
    ASSERT_TRUE(restored->embeddedControl()->readProperties(bag).ok());
    Variant name[] = {Variant::fromString(" popAuthentication ")};
    EXPECT_EQ(restored
                  ->invoke(*restored->idOfName("GetStringValueOfProperty"),
                           automation::MemberKind::Method, name)
                  .value,
              Variant::fromString("3"));
    automation::MemoryPropertyBag stored;
    stored.write("POPAuthentication", Variant::fromInt16(9));
    EXPECT_EQ(restored->embeddedControl()->readProperties(stored).error,
              RuntimeError::InvalidProcedureCall);
}

TEST(SaslSignInMembers, ServerCapabilitiesOutliveARefusalAndGoWithTheNextConnect)
{
    FakePop3Server first;
    first.script("S: +OK ready\nC: CAPA\nS: +OK\nS: USER\nS: SASL PLAIN\nS: .\nH:");
    Vorlane v;
    v.setPOPHostname("127.0.0.1");
    v.setPOPPort(first.port());
    v.setPOPUsername("bob");
    v.setPOPAuthentication(Vorlane::AuthenticationOauthbearer);
    v.Connect();
    EXPECT_EQ(v.Error(), 35);
    EXPECT_EQ(v.ServerCapabilities(), "USER\r\nSASL PLAIN");

    FakePop3Server classic; // USER and PASS: no CAPA, the wire as it always was
    classic.script(kFakeLoginUntilStat + "S: +OK 0 0\n");
    v.setPOPPort(classic.port());
    v.setPOPAuthentication(Vorlane::AuthenticationUserPass);
    v.Connect();
    EXPECT_EQ(v.Error(), 0) << v.ErrorText().constData();
    EXPECT_EQ(v.ServerCapabilities(), "");
    EXPECT_EQ(classic.received(), (QList<QByteArray>{"USER bob", "PASS  ", "STAT"}));
}
