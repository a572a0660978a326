// The control through its dispatch interface: conversions on put, by-reference arguments, the
// event and its write-back, persistence and Terminate.
#include "control/vorlaneinterface.h"
#include "control/vorlaneobject.h"
#include "platform/automation/eventsink.h"
#include "platform/automation/memorypropertybag.h"
#include "platform/automation/ref.h"
#include "tests/support/fakepop3server.h"
#include "tests/support/waitfor.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using automation::CallResult;
using automation::MemberKind;
using automation::RuntimeError;
using automation::Variant;
namespace id = vorlaneinterface;

namespace {

struct Object {
    automation::Ref<VorlaneObject> object = automation::makeRef<VorlaneObject>();

    CallResult get(const char* name) { return object->get(*object->idOfName(name)); }
    CallResult put(const char* name, Variant value)
    {
        return object->put(*object->idOfName(name), std::move(value));
    }
    CallResult call(const char* name, std::span<Variant> args = {})
    {
        return object->invoke(*object->idOfName(name), MemberKind::Method, args);
    }
};

const QString kLogin = kFakeLoginUntilStat + "S: +OK 2 3000\n";
// Answered at once, so a test ends without waiting out QUIT's timeout on release.
const QString kQuit = QStringLiteral("\nC: QUIT\nS: +OK bye\nX:");

} // namespace

TEST(VorlaneObject, NewInstanceReadsItsDefaults)
{
    Object o;
    EXPECT_EQ(o.get("POPPort").value, Variant::fromInt32(110));
    EXPECT_EQ(o.get("POPTimeout").value, Variant::fromInt16(10));
    EXPECT_EQ(o.get("POPHostname").value, Variant::fromString(""));
    EXPECT_EQ(o.get("Status").value, Variant::fromInt16(0));
    EXPECT_EQ(o.get("Error").value, Variant::fromInt16(0));
    EXPECT_EQ(o.get("DebugMode").value, Variant::fromBool(false));
    EXPECT_EQ(o.get("version").value, Variant::fromString("4.0.1"));
    EXPECT_EQ(o.get("StatusText").value, Variant::fromString("Disconnected"));
}

TEST(VorlaneObject, PutsConvertOrFailWithoutChangingAnything)
{
    Object o;
    EXPECT_TRUE(o.put("POPPort", Variant::fromString("995")).ok());
    EXPECT_EQ(o.get("POPPort").value, Variant::fromInt32(995));
    EXPECT_EQ(o.put("POPPort", Variant::fromString("abc")).error, RuntimeError::TypeMismatch);
    EXPECT_EQ(o.put("POPTimeout", Variant::fromInt32(40000)).error, RuntimeError::Overflow);
    EXPECT_EQ(o.put("POPHostname", Variant::null()).error, RuntimeError::InvalidUseOfNull);
    EXPECT_EQ(o.put("DebugMode", Variant::fromString("maybe")).error, RuntimeError::TypeMismatch);
    EXPECT_EQ(o.get("POPPort").value, Variant::fromInt32(995));
    EXPECT_EQ(o.get("POPTimeout").value, Variant::fromInt16(10));
    EXPECT_TRUE(o.put("DebugMode", Variant::fromString("True")).ok());
    EXPECT_EQ(o.get("DebugMode").value, Variant::fromBool(true));
    EXPECT_TRUE(o.put("POPUsername", Variant::fromInt32(-42)).ok());
    EXPECT_EQ(o.get("POPUsername").value, Variant::fromString("-42"));
    EXPECT_TRUE(o.put("POPPassword", Variant::fromBool(true)).ok());
    EXPECT_EQ(o.get("POPPassword").value, Variant::fromString("True"));
}

TEST(VorlaneObject, ReadOnlyMembersAndBadCallsAreRefused)
{
    Object o;
    EXPECT_EQ(o.object->put(id::Status, Variant::fromInt16(1)).error,
              RuntimeError::ObjectDoesntSupport);
    EXPECT_EQ(o.object->invoke(0x12345, MemberKind::PropertyGet, {}).error,
              RuntimeError::ObjectDoesntSupport);
    Variant tooMany[] = {Variant::fromInt16(1), Variant::fromInt16(2)};
    EXPECT_EQ(o.call("SetCurrentMsg", tooMany).error,
              RuntimeError::WrongArgumentsOrInvalidAssignment);
    EXPECT_EQ(o.call("Connect", tooMany).error, RuntimeError::WrongArgumentsOrInvalidAssignment);
    // Version's put only says it is read-only, whatever it is given, Null included.
    for (const Variant& value : {Variant::null(), Variant::fromString("9.9"), Variant()}) {
        EXPECT_TRUE(o.put("Version", value).ok()) << value.debugText().constData();
    }
    EXPECT_EQ(o.get("Version").value, Variant::fromString("4.0.1"));
}

TEST(VorlaneObject, ByReferenceArgumentsComeBackOnlyWhenTheControlChangedThem)
{
    FakePop3Server server;
    server.script(kLogin + "C: UIDL 2\nS: +OK 2 second\nC: UIDL 2\nS: +OK 2 second\n"
                           "C: UIDL 2\nS: +OK 2 second");
    Object o;
    o.put("POPHostname", Variant::fromString("127.0.0.1"));
    o.put("POPPort", Variant::fromInt32(server.port()));
    o.put("POPUsername", Variant::fromString("bob"));
    ASSERT_TRUE(o.call("Connect").ok());
    EXPECT_EQ(o.get("MsgCount").value, Variant::fromInt32(2));
    // Connected, two messages; the rows run in order, the last one ends the session (code 20).
    const struct {
        const char* method;
        Variant given;
        Variant after;
        qint16 error;
    } rows[] = {
        {"SetCurrentMsg", Variant::fromString("2"), Variant::fromString("2"), 0},
        {"SetCurrentMsg", Variant::fromInt16(0), Variant::fromInt16(2), 0},
        {"SetCurrentMsg", Variant(), Variant::fromInt16(2), 0}, // Empty reads as 0
        {"GetStringValueOfProperty", Variant::fromString(" msgnumber "),
         Variant::fromString(" msgnumber "), 0},
        {"SetCurrentMsg", Variant::fromInt32(5), Variant::fromInt32(5), 20},
        // Disconnected now: nothing is written back, not even for 0.
        {"SetCurrentMsg", Variant::fromInt16(0), Variant::fromInt16(0), 19},
        {"WriteCurrentMsgToFile", Variant::fromInt32(12), Variant::fromInt32(12), 23},
    };
    for (const auto& row : rows) {
        Variant arg[] = {row.given};
        ASSERT_TRUE(o.call(row.method, arg).ok())
            << row.method << ' ' << row.given.debugText().constData();
        EXPECT_EQ(arg[0], row.after) << row.method << ' ' << row.given.debugText().constData();
        EXPECT_EQ(o.get("Error").value, Variant::fromInt16(row.error)) << row.method;
    }
    Variant notANumber[] = {Variant::fromString("x")};
    EXPECT_EQ(o.call("SetCurrentMsg", notANumber).error, RuntimeError::TypeMismatch);
    EXPECT_EQ(notANumber[0], Variant::fromString("x"));
}

namespace {

// A host's sink that shows the progress and changes the total, as a by-reference handler may.
class ShrinkingSink : public automation::EventSink {
public:
    QList<QList<int>> seen;
    void invoke(qint32 dispid, std::span<Variant> args) override
    {
        EXPECT_EQ(dispid, 1);
        seen.append({args[0].int32Value(), args[1].int32Value(), args[2].int16Value()});
        args[1] = Variant::fromInt32(7);
    }
};

} // namespace

TEST(VorlaneObject, EventReachesTheSinkAndItsTotalComesBack)
{
    FakePop3Server server;
    server.script(kLogin +
                  "C:\nS: +OK 1 u\nC: TOP 1 0\nS: +OK\nS: .\nC: LIST 1\n"
                  "S: +OK 1 3000\nC: RETR 1\nS: +OK\nS: hi\nS: ." +
                  kQuit);
    Object o;
    ShrinkingSink sink;
    o.object->connectionPoint()->advise(&sink);
    o.put("POPHostname", Variant::fromString("127.0.0.1"));
    o.put("POPPort", Variant::fromInt32(server.port()));
    o.put("POPUsername", Variant::fromString("bob"));
    o.call("Connect");
    Variant one[] = {Variant::fromInt16(1)};
    o.call("SetCurrentMsg", one);
    QTemporaryDir dir;
    Variant path[] = {Variant::fromString(QFile::encodeName(dir.filePath("m.txt")))};
    ASSERT_TRUE(o.call("WriteCurrentMsgToFile", path).ok());
    EXPECT_EQ(o.get("Error").value, Variant::fromInt16(0));
    ASSERT_GE(sink.seen.size(), 2);
    EXPECT_EQ(sink.seen.first(), (QList<int>{1, 3, 33}));
    // The first event's sink set the total to 7: MsgSizeInK follows, and so does the last event.
    EXPECT_EQ(sink.seen.last(), (QList<int>{7, 7, 100}));
    EXPECT_EQ(o.get("MsgSizeInK").value, Variant::fromInt32(7));
    EXPECT_TRUE(o.call("Disconnect").ok());
    EXPECT_EQ(server.received().value(7), "QUIT");
    o.object->connectionPoint()->unadvise();
}

namespace {

// Keeps the order in which the control writes its keys.
struct RecordingBag : automation::MemoryPropertyBag {
    QByteArrayList written;
    void write(QByteArrayView key, const Variant& value) override
    {
        written.append(key.toByteArray());
        MemoryPropertyBag::write(key, value);
    }
};

} // namespace

TEST(VorlaneObject, SettingsSurviveASaveAndRestore)
{
    RecordingBag bag;
    {
        Object o;
        o.put("POPHostname", Variant::fromString("mail.example.org"));
        o.put("POPPort", Variant::fromInt32(1110));
        o.put("POPUsername", Variant::fromString("bob"));
        o.put("POPPassword", Variant::fromString(" s3cr\xe9t "));
        o.put("POPTimeout", Variant::fromInt16(42));
        o.object->embeddedControl()->writeProperties(bag);
    }
    EXPECT_EQ(bag.written, (QByteArrayList{"POPHostname", "POPPort", "POPUsername", "POPPassword",
                                           "POPTimeout"}));
    EXPECT_EQ(bag.read("POPPort"), Variant::fromInt32(1110));
    EXPECT_EQ(bag.read("POPTimeout"), Variant::fromInt16(42));
    Object restored;
    ASSERT_TRUE(restored.object->embeddedControl()->readProperties(bag).ok());
    EXPECT_EQ(restored.get("POPPassword").value, Variant::fromString(" s3cr\xe9t "));
    EXPECT_EQ(restored.get("POPPort").value, Variant::fromInt32(1110));
    EXPECT_EQ(restored.get("POPHostname").value, Variant::fromString("mail.example.org"));
}

// An extension's key is written only once it is on, so a plain control saves its five keys.
TEST(VorlaneObject, FewerRoundTripsIsSavedOnlyWhenOn)
{
    RecordingBag off;
    Object plain;
    plain.object->embeddedControl()->writeProperties(off);
    EXPECT_FALSE(off.written.contains("POPFewerRoundTrips"));
    EXPECT_EQ(plain.get("POPFewerRoundTrips").value, Variant::fromBool(false));
    EXPECT_EQ(plain.get("UniqueIDList").value, Variant::fromString(""));

    RecordingBag on;
    plain.put("POPFewerRoundTrips", Variant::fromString("True"));
    plain.object->embeddedControl()->writeProperties(on);
    EXPECT_EQ(on.read("POPFewerRoundTrips"), Variant::fromBool(true));
    Object restored;
    ASSERT_TRUE(restored.object->embeddedControl()->readProperties(on).ok());
    EXPECT_EQ(restored.get("POPFewerRoundTrips").value, Variant::fromBool(true));
    Variant name[] = {Variant::fromString(" popfewerroundtrips ")};
    EXPECT_EQ(restored.call("GetStringValueOfProperty", name).value, Variant::fromString("True"));
}

TEST(VorlaneObject, RestoreWithMissingOrBadKeys)
{
    automation::MemoryPropertyBag bag;
    bag.write("POPHostname", Variant::fromString("h"));
    Object o;
    ASSERT_TRUE(o.object->embeddedControl()->readProperties(bag).ok());
    EXPECT_EQ(o.get("POPPort").value, Variant::fromInt32(0)); // missing is empty, not 110
    EXPECT_EQ(o.get("POPTimeout").value, Variant::fromInt16(0));
    bag.write("POPPort", Variant::fromString("not a port"));
    bag.write("POPHostname", Variant::fromString("changed"));
    Object bad;
    EXPECT_EQ(bad.object->embeddedControl()->readProperties(bag).error, RuntimeError::TypeMismatch);
    EXPECT_EQ(bad.get("POPHostname").value, Variant::fromString("changed")); // read before it
}

TEST(VorlaneObject, FaceKeepsItsSizeWhateverTheHostAsks)
{
    Object o;
    EXPECT_EQ(o.object->embeddedControl()->resize(QSize(200, 10)), QSize(32, 32));
    EXPECT_EQ(automation::himetricFromPixels(32), 847);
    EXPECT_EQ(o.object->embeddedControl()->propertyPages(),
              QByteArrayList{"{20B443C6-55E2-46A8-ADA3-7A43BBFCD155}"});
}

TEST(VorlaneObject, ReleasingAConnectedInstanceSendsQuit)
{
    FakePop3Server server;
    server.script(kLogin + "C: QUIT\nS: +OK bye\nX:");
    {
        Object o;
        o.put("POPHostname", Variant::fromString("127.0.0.1"));
        o.put("POPPort", Variant::fromInt32(server.port()));
        o.put("POPUsername", Variant::fromString("bob"));
        o.call("Connect");
        ASSERT_EQ(o.get("Status").value, Variant::fromInt16(1));
    }
    EXPECT_TRUE(waitFor([&] { return server.received().size() == 4; }));
    EXPECT_EQ(server.received().value(3), "QUIT");
}

TEST(VorlaneObject, ReleasingADisconnectedInstanceSendsNothing)
{
    FakePop3Server server;
    server.script(kLogin);
    {
        Object o;
        o.put("POPHostname", Variant::fromString("127.0.0.1"));
        o.put("POPPort", Variant::fromInt32(server.port()));
        o.put("POPUsername", Variant::fromString("bob"));
        o.call("Connect");
        o.put("POPHostname", Variant::fromString(""));
        o.call("Connect"); // 13: closes without QUIT
        ASSERT_EQ(o.get("Status").value, Variant::fromInt16(0));
    }
    EXPECT_FALSE(waitFor([&] { return server.received().size() > 3; }, 300));
}

TEST(VorlaneObject, EveryGetReturnsItsDeclaredTypeAndEveryPutRoundTrips)
{
    FakePop3Server server;
    server.script(kLogin +
                  "C: UIDL 1\nS: +OK 1 u1\nC: TOP 1 0\nS: +OK\nS: Subject: s\n"
                  "S: Date: today\nS:\nS: .\nC: LIST 1\nS: +OK 1 10" +
                  kQuit);
    Object o;
    o.put("POPHostname", Variant::fromString("127.0.0.1"));
    o.put("POPPort", Variant::fromInt32(server.port()));
    o.put("POPUsername", Variant::fromString("bob"));
    o.call("Connect");
    Variant one[] = {Variant::fromInt16(1)};
    o.call("SetCurrentMsg", one);
    auto typeOf = [](automation::ValueType type) {
        switch (type) {
        case automation::ValueType::Integer:
            return Variant::Type::Integer;
        case automation::ValueType::Long:
            return Variant::Type::Long;
        case automation::ValueType::Boolean:
            return Variant::Type::Boolean;
        default:
            return Variant::Type::String;
        }
    };
    for (const automation::MemberInfo& member : id::kVorlaneInterface.members) {
        if (member.kind != MemberKind::PropertyGet) {
            continue;
        }
        const CallResult got = o.object->get(member.dispid);
        ASSERT_TRUE(got.ok()) << member.name;
        EXPECT_EQ(got.value.type(), typeOf(member.type)) << member.name;
        if (automation::findMember(id::kVorlaneInterface, member.dispid, MemberKind::PropertyPut) &&
            member.dispid != id::Version) {
            ASSERT_TRUE(o.object->put(member.dispid, got.value).ok()) << member.name;
            EXPECT_EQ(o.object->get(member.dispid).value, got.value) << member.name;
        }
    }
    EXPECT_EQ(o.get("MsgDate").value, Variant::fromString("today"));
    EXPECT_EQ(o.get("MsgSizeInK").value, Variant::fromInt32(1));
    EXPECT_TRUE(o.call("Disconnect").ok());
    EXPECT_EQ(server.received().value(6), "QUIT");
}
