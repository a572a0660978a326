// Secure connections against the scripted fake server: servers that refuse, ignore or botch STLS
// or TLS end the Connect with 32 or 33 before USER or PASS reaches the wire; the three members
// convert, refuse bad values and persist only once security is in use.
#include "control/vorlane.h"
#include "control/vorlaneobject.h"
#include "platform/automation/memorypropertybag.h"
#include "platform/automation/ref.h"
#include "tests/support/fakepop3server.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using automation::RuntimeError;
using automation::Variant;

namespace {

// Remembers the order of the keys written, which a plain memory bag does not keep.
class OrderedBag : public automation::MemoryPropertyBag {
public:
    void write(QByteArrayView key, const Variant& value) override
    {
        keys.append(key.toByteArray());
        MemoryPropertyBag::write(key, value);
    }
    QByteArrayList keys;
};

struct Refusal {
    const char* name;
    qint16 security;
    qint16 timeout;
    const char* script;
    qint16 error;
    const char* errorTextStart;
};

const Refusal kRefusals[] = {
    {"StlsRefused", Vorlane::SecurityStls, 3, "S: +OK ready\nC: STLS\nS: -ERR not here\nH:", 33,
     "Server refused STLS: -ERR not here\r\n"},
    {"StlsUnanswered", Vorlane::SecurityStls, 0, "S: +OK ready\nC: STLS\nH:", 33,
     "Server refused STLS: Program determining timeout error"},
    {"StlsAgreedThenPlainText", Vorlane::SecurityStls, 3,
     "S: +OK ready\nC: STLS\nS: +OK begin\nP: 50\nS: +OK this is no handshake\nH:", 32,
     "Secure connection failed: "},
    {"StlsAgreedThenClosed", Vorlane::SecurityStls, 3,
     "S: +OK ready\nC: STLS\nS: +OK begin\nX:", 32, "Secure connection failed: "},
    {"TlsToAPlainServer", Vorlane::SecurityTls, 3, "S: +OK ready\nH:", 32,
     "Secure connection failed: "},
};

class SecureRefusalTest : public ::testing::TestWithParam<Refusal> {};

} // namespace

TEST_P(SecureRefusalTest, EndsBeforeAnyCredentialIsSent)
{
    const Refusal& r = GetParam();
    FakePop3Server server;
    server.script(QString::fromLatin1(r.script));
    Vorlane v;
    v.setPOPHostname("127.0.0.1");
    v.setPOPPort(server.port());
    v.setPOPUsername("bob");
    v.setPOPPassword("secret");
    v.setPOPTimeout(r.timeout);
    v.setPOPSecurity(r.security);
    v.Connect();
    EXPECT_EQ(v.Error(), r.error) << v.ErrorText().constData();
    EXPECT_TRUE(v.ErrorText().startsWith(r.errorTextStart)) << v.ErrorText().constData();
    EXPECT_EQ(v.Status(), 0);
    EXPECT_EQ(v.SecureConnectionInfo(), "");
    // After STLS the fake server takes the client's handshake bytes for lines; none is a login.
    for (const QByteArray& line : server.received()) {
        EXPECT_FALSE(line.startsWith("USER") || line.startsWith("PASS")) << line.constData();
    }
    if (r.security == Vorlane::SecurityStls) {
        EXPECT_EQ(server.received().value(0), "STLS");
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, SecureRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

// A FIFO would hang Connect and /dev/zero fill the memory: only a regular file of at most 10 MB
// is read, and the reason is told.
TEST(SecureSession, UnreadableCaFileFailsBeforeAnyConnection)
{
    FakePop3Server server;
    server.script(QStringLiteral("S: +OK ready\nH:"));
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("ca.fifo")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    QFile huge(dir.filePath(QStringLiteral("huge.pem")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(10 * 1024 * 1024 + 1)); // sparse: costs no disk
    huge.close();
    QFile text(dir.filePath(QStringLiteral("text.pem")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("no certificate here\n");
    text.close();
    const struct {
        QByteArray caFile;
        const char* reason;
    } cases[] = {
        {"/nonexistent/ca.pem", "No such file or directory"},
        {"/dev/null", "not a regular file"},
        {"/dev/zero", "not a regular file"},
        {fifo, "not a regular file"},
        {QFile::encodeName(huge.fileName()), "larger than 10485760 bytes"},
        {QFile::encodeName(text.fileName()), "No PEM certificate"},
    };
    for (const auto& [caFile, reason] : cases) {
        Vorlane v;
        v.setPOPHostname("127.0.0.1");
        v.setPOPPort(server.port());
        v.setPOPUsername("bob");
        v.setPOPSecurity(Vorlane::SecurityTls);
        v.setPOPCAFile(caFile);
        v.Connect();
        EXPECT_EQ(v.Error(), 32);
        EXPECT_TRUE(v.ErrorText().startsWith("Secure connection failed: ")) << caFile.constData();
        EXPECT_TRUE(v.ErrorText().contains(caFile)) << v.ErrorText().constData();
        EXPECT_TRUE(v.ErrorText().contains(reason)) << v.ErrorText().constData();
    }
    EXPECT_EQ(server.connectionCount(), 0);
}

TEST(SecureSession, MembersConvertRefuseAndPersistOnlyWhenInUse)
{
    auto object = automation::makeRef<VorlaneObject>();
    auto put = [&](const char* name, Variant value) {
        return object->put(*object->idOfName(name), std::move(value));
    };
    auto get = [&](const char* name) { return object->get(*object->idOfName(name)).value; };
    EXPECT_EQ(get("POPSecurity"), Variant::fromInt16(0));
    EXPECT_EQ(get("SecureConnectionInfo"), Variant::fromString(""));
    for (const Variant& bad :
         {Variant::fromInt16(3), Variant::fromInt32(-1), Variant::fromString("70000")}) {
        EXPECT_NE(put("POPSecurity", bad).error, RuntimeError::None);
        EXPECT_EQ(get("POPSecurity"), Variant::fromInt16(0));
    }
    EXPECT_EQ(put("POPSecurity", Variant::fromInt16(3)).error, RuntimeError::InvalidProcedureCall);
    EXPECT_EQ(put("POPSecurity", Variant::fromString("x")).error, RuntimeError::TypeMismatch);
    ASSERT_TRUE(put("POPSecurity", Variant::fromString("2")).ok());
    ASSERT_TRUE(put("POPCAFile", Variant::fromString("/etc/ca.pem")).ok());

    OrderedBag bag;
    object->embeddedControl()->writeProperties(bag);
    EXPECT_EQ(bag.keys, (QByteArrayList{"POPHostname", "POPPort", "POPUsername", "POPPassword",
                                        "POPTimeout", "POPSecurity", "POPCAFile"}));
    EXPECT_EQ(bag.read("POPSecurity"), Variant::fromInt16(2));
    auto restored = automation::makeRef<VorlaneObject>();
    ASSERT_TRUE(restored->embeddedControl()->readProperties(bag).ok());
    EXPECT_EQ(restored->get(*restored->idOfName("POPCAFile")).value,
              Variant::fromString("/etc/ca.pem"));
    Variant name[] = {Variant::fromString(" popsecurity ")};
    EXPECT_EQ(restored
                  ->invoke(*restored->idOfName("GetStringValueOfProperty"),
                           automation::MemberKind::Method, name)
                  .value,
              Variant::fromString("2"));

    // A bag saved before these keys existed restores a plain control.
    automation::MemoryPropertyBag old;
    old.write("POPHostname", Variant::fromString("h"));
    ASSERT_TRUE(restored->embeddedControl()->readProperties(old).ok());
    EXPECT_EQ(restored->get(*restored->idOfName("POPSecurity")).value, Variant::fromInt16(2));
    auto fresh = automation::makeRef<VorlaneObject>();
    ASSERT_TRUE(fresh->embeddedControl()->readProperties(old).ok());
    EXPECT_EQ(fresh->get(*fresh->idOfName("POPSecurity")).value, Variant::fromInt16(0));
    automation::MemoryPropertyBag stored;
    stored.write("POPSecurity", Variant::fromInt16(7));
    EXPECT_EQ(fresh->embeddedControl()->readProperties(stored).error,
              RuntimeError::InvalidProcedureCall);
}
