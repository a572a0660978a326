// Late-bound calls against a small object with a constexpr member table: name look-up, call
// validation, by-reference write-back, events, reference counting and the class factory.
#include "platform/automation/connectionpoint.h"
#include "platform/automation/conversions.h"
#include "platform/automation/functionclassfactory.h"
#include "platform/automation/memberbinding.h"
#include "platform/automation/tabledispatch.h"
#include "tests/automation/variantprinter.h"

#include <array>
#include <gtest/gtest.h>
#include <vector>

using namespace automation;

namespace {

constexpr qint32 idCount = 0x68030001;
constexpr qint32 idAdd = 0x60030002;
constexpr qint32 idDouble = 0x60030003;
constexpr qint32 idPeek = 0x60030004;
constexpr qint32 idBroken = 0x68030005;
constexpr qint32 idTick = 1;

constexpr std::array counterMembers{
    propGet(idCount, "Count", ValueType::Long, "The current count."),
    propPut(idCount, "Count", ValueType::Long, "The current count."),
    method(idAdd, "Add", ValueType::Long, {ParamInfo{"lngAmount", ValueType::Long, false}},
           "Adds and returns the new count."),
    method(idDouble, "DoubleIt", ValueType::Void, {ParamInfo{"intValue", ValueType::Integer, true}},
           "Doubles its argument in place and raises Tick."),
    method(idPeek, "Peek", ValueType::Integer, {ParamInfo{"intValue", ValueType::Integer, true}},
           "Returns its argument, leaving it as it is."),
    propGet(idBroken, "Broken", ValueType::Integer, "Gives a Long although it declares Integer."),
};
static_assert(hasUniqueIds(counterMembers));
static_assert(hasConsistentNames(counterMembers));
static_assert(findMember({"x", "", 0, counterMembers, ""}, idAdd, MemberKind::Method)->paramCount ==
              1);

// The checks must reject what they are there for.
constexpr std::array duplicateIds{propGet(1, "A", ValueType::Long, ""),
                                  propGet(1, "B", ValueType::Long, "")};
static_assert(!hasUniqueIds(duplicateIds));
static_assert(!hasConsistentNames(duplicateIds));
constexpr std::array nameOnTwoIds{propGet(1, "Name", ValueType::Long, ""),
                                  method(2, "NAME", ValueType::Void, {}, "")};
static_assert(hasUniqueIds(nameOnTwoIds));
static_assert(!hasConsistentNames(nameOnTwoIds));

constexpr InterfaceInfo counterInterface{"_Counter", "{11111111-2222-3333-4444-555555555555}",
                                         InterfaceFlags::Dual, counterMembers, ""};
constexpr std::array counterEventMembers{method(
    idTick, "Tick", ValueType::Void, {ParamInfo{"lngValue", ValueType::Long, true}}, nullptr)};
constexpr InterfaceInfo counterEvents{"__Counter", "{11111111-2222-3333-4444-666666666666}",
                                      InterfaceFlags::DispatchOnly, counterEventMembers, nullptr};

ModuleUsage testModule;

class Counter : public TableDispatch {
public:
    const InterfaceInfo& interfaceInfo() const override { return counterInterface; }
    ConnectionPoint* connectionPoint() override { return &m_events; }

protected:
    // The arguments arrive converted to their declared types: no conversion here.
    CallResult invokeMember(const MemberInfo& member, std::span<Variant> args) override
    {
        seen.assign(args.begin(), args.end());
        if (member.dispid == idCount && member.kind == MemberKind::PropertyGet)
            return CallResult::success(Variant::fromInt32(m_count));
        if (member.dispid == idDouble)
            return doubleIt(args[0]);
        if (member.dispid == idPeek)
            return CallResult::success(args[0]);
        if (member.dispid == idBroken)
            return CallResult::success(Variant::fromInt32(1));
        const qint32 amount = args[0].int32Value();
        m_count = member.dispid == idAdd ? m_count + amount : amount;
        return CallResult::success(member.dispid == idAdd ? Variant::fromInt32(m_count)
                                                          : Variant());
    }

public:
    std::vector<Variant> seen; // the arguments of the last call that reached the object

private:
    CallResult doubleIt(Variant& value)
    {
        const Converted<qint16> number = toInt16(Variant::fromInt32(2 * value.int16Value()));
        if (!number.ok())
            return CallResult::failure(number.error);
        value = Variant::fromInt16(number.value);
        Variant tick[] = {Variant::fromInt32(m_count)};
        m_events.raise(idTick, tick);
        m_count = toInt32(tick[0]).value; // the sink may answer through the by-ref argument
        return CallResult::success();
    }

    ModuleUsage::ObjectToken m_token{testModule};
    ConnectionPoint m_events{counterEvents};
    qint32 m_count = 0;
};

Ref<Dispatch> createCounter()
{
    return makeRef<Counter>();
}

TEST(Dispatch, FindsIdsByNameInAnyLetterCase)
{
    const Ref<Dispatch> counter = createCounter();
    EXPECT_EQ(counter->idOfName("count"), idCount);
    EXPECT_EQ(counter->idOfName("COUNT"), idCount);
    EXPECT_EQ(counter->idOfName("doubleit"), idDouble);
    EXPECT_EQ(counter->idOfName("Coun"), std::nullopt);
    EXPECT_EQ(counter->idOfName(""), std::nullopt);
}

TEST(Dispatch, RejectsUnknownMembersAndWrongArgumentCounts)
{
    const Ref<Dispatch> counter = createCounter();
    Variant one[] = {Variant::fromInt32(1)};
    Variant two[] = {Variant::fromInt32(1), Variant::fromInt32(2)};

    const CallResult unknown = counter->invoke(0x12345678, MemberKind::Method, {});
    EXPECT_EQ(unknown.error, RuntimeError::ObjectDoesntSupport);
    EXPECT_EQ(unknown.description, "Object doesn't support this property or method");
    // Known id, but not as a method; a put of a get-only id is just as unknown.
    EXPECT_EQ(counter->invoke(idCount, MemberKind::Method, {}).error,
              RuntimeError::ObjectDoesntSupport);
    EXPECT_EQ(counter->put(idAdd, Variant::fromInt32(1)).error, RuntimeError::ObjectDoesntSupport);

    EXPECT_EQ(counter->invoke(idAdd, MemberKind::Method, {}).error,
              RuntimeError::WrongArgumentsOrInvalidAssignment);
    EXPECT_EQ(counter->invoke(idAdd, MemberKind::Method, two).error,
              RuntimeError::WrongArgumentsOrInvalidAssignment);
    EXPECT_EQ(counter->invoke(idCount, MemberKind::PropertyPut, {}).error,
              RuntimeError::WrongArgumentsOrInvalidAssignment);
    EXPECT_EQ(counter->invoke(idCount, MemberKind::PropertyGet, one).error,
              RuntimeError::WrongArgumentsOrInvalidAssignment);
    EXPECT_EQ(counter->get(idCount).value, Variant::fromInt32(0))
        << "a rejected call changed state";
}

TEST(Dispatch, CallsReachTheObjectAndErrorsComeBackAsResults)
{
    const Ref<Dispatch> counter = createCounter();
    ASSERT_TRUE(counter->put(idCount, Variant::fromString("40")).ok());
    Variant amount[] = {Variant::fromInt16(2)};
    const CallResult added = counter->invoke(idAdd, MemberKind::Method, amount);
    ASSERT_TRUE(added.ok());
    EXPECT_EQ(added.value, Variant::fromInt32(42));

    const CallResult bad = counter->put(idCount, Variant::fromString("forty"));
    EXPECT_EQ(bad.error, RuntimeError::TypeMismatch);
    EXPECT_EQ(bad.description, "Type mismatch");
    EXPECT_EQ(counter->get(idCount).value, Variant::fromInt32(42));
}

// The dispatcher converts each argument to its declared type before the object sees it; a failed
// conversion stops the call there. A by-reference argument comes back only when the object changed
// it, and a result of another type than declared is refused.
TEST(Dispatch, ConvertsArgumentsAndWritesBackOnlyWhatChanged)
{
    const Ref<Counter> counter = makeRef<Counter>();
    const struct {
        qint32 dispid;
        Variant given;
        Variant seen;  // by the object
        Variant after; // in the caller's argument
        RuntimeError error;
    } rows[] = {
        {idDouble, Variant::fromString("21"), Variant::fromInt16(21), Variant::fromInt16(42),
         RuntimeError::None},
        {idDouble, Variant::fromDouble(2.5), Variant::fromInt16(2), Variant::fromInt16(4),
         RuntimeError::None},
        {idPeek, Variant::fromString("7"), Variant::fromInt16(7), Variant::fromString("7"),
         RuntimeError::None},
        {idPeek, Variant(), Variant::fromInt16(0), Variant(), RuntimeError::None},
        {idPeek, Variant::fromInt32(70000), Variant(), Variant::fromInt32(70000),
         RuntimeError::Overflow},
        {idAdd, Variant::null(), Variant(), Variant::null(), RuntimeError::InvalidUseOfNull},
    };
    for (const auto& row : rows) {
        counter->seen.clear();
        Variant arg[] = {row.given};
        const CallResult result = counter->invoke(row.dispid, MemberKind::Method, arg);
        const std::string what = row.given.debugText().toStdString();
        EXPECT_EQ(result.error, row.error) << what;
        EXPECT_EQ(counter->seen.empty() ? Variant() : counter->seen[0], row.seen) << what;
        EXPECT_EQ(arg[0], row.after) << what;
    }
    ASSERT_TRUE(counter->put(idCount, Variant::fromString("40")).ok());
    EXPECT_EQ(counter->seen, std::vector{Variant::fromInt32(40)});

    const CallResult broken = counter->get(idBroken);
    EXPECT_EQ(broken.error, RuntimeError::TypeMismatch);
    EXPECT_EQ(broken.description, "Broken gave Long where its declaration names Integer");
}

struct Tank {
    qint32 litres = 5;
    qint32 level() const { return litres; }
    void setLevel(qint32 value) { litres = value; }
    // Tops up by `amount` and hands back what did not fit.
    void fill(qint16& amount)
    {
        const qint16 room = qint16(10 - litres);
        litres += qMin(amount, room);
        amount = qint16(qMax(0, amount - room));
    }
};

constexpr std::array tankMembers{
    propGet(1, "Level", ValueType::Long, ""),
    propPut(1, "Level", ValueType::Long, ""),
    method(2, "Fill", ValueType::Void, {ParamInfo{"intAmount", ValueType::Integer, true}}, ""),
    propGet(3, "Wrong", ValueType::String, ""), // bound to a Long accessor below
    method(4, "Spill", ValueType::Void, {ParamInfo{"intAmount", ValueType::Integer, false}}, ""),
};

const MemberBinding<Tank> tankBindings[] = {
    bindGet<&Tank::level>(1), bindPut<&Tank::setLevel>(1), bindMethod<&Tank::fill>(2),
    bindGet<&Tank::level>(3), bindMethod<&Tank::fill>(4), // changes a by-value argument
};

CallResult callTank(Tank& tank, qint32 dispid, MemberKind kind, std::span<Variant> args)
{
    return callBinding<Tank>(tankBindings, *findMember({"t", "", 0, tankMembers, ""}, dispid, kind),
                             tank, args);
}

TEST(MemberBinding, CallsTypedAccessorsAndRefusesOnesThatDoNotFitTheirRow)
{
    Tank tank;
    EXPECT_EQ(callTank(tank, 1, MemberKind::PropertyGet, {}).value, Variant::fromInt32(5));
    Variant value[] = {Variant::fromInt32(8)};
    ASSERT_TRUE(callTank(tank, 1, MemberKind::PropertyPut, value).ok());
    EXPECT_EQ(tank.litres, 8);
    Variant amount[] = {Variant::fromInt16(5)};
    ASSERT_TRUE(callTank(tank, 2, MemberKind::Method, amount).ok());
    EXPECT_EQ(tank.litres, 10);
    EXPECT_EQ(amount[0], Variant::fromInt16(3)) << "the accessor's write is left in the argument";

    for (qint32 unfit : {3, 4}) {
        const MemberKind kind = unfit == 3 ? MemberKind::PropertyGet : MemberKind::Method;
        Variant arg[] = {Variant::fromInt16(1)};
        const CallResult refused =
            callTank(tank, unfit, kind, std::span(arg, kind == MemberKind::Method ? 1 : 0));
        EXPECT_EQ(refused.error, RuntimeError::TypeMismatch) << unfit;
        EXPECT_TRUE(refused.description.contains("does not have the types its declaration names"));
    }
    EXPECT_EQ(tank.litres, 10);
    EXPECT_EQ(callBinding<Tank>({}, tankMembers[0], tank, {}).error,
              RuntimeError::ObjectDoesntSupport);
}

class RecordingSink : public EventSink {
public:
    void invoke(qint32 dispid, std::span<Variant> args) override
    {
        calls.push_back({dispid, std::vector<Variant>(args.begin(), args.end())});
        args[0] = Variant::fromInt32(answer);
    }

    std::vector<std::pair<qint32, std::vector<Variant>>> calls;
    qint32 answer = 0;
};

TEST(Dispatch, ByReferenceArgumentsAreWrittenBackBothWays)
{
    const Ref<Dispatch> counter = createCounter();
    RecordingSink sink;
    sink.answer = 99;
    counter->put(idCount, Variant::fromInt32(7));
    counter->connectionPoint()->advise(&sink);

    Variant value[] = {Variant::fromInt16(21)};
    ASSERT_TRUE(counter->invoke(idDouble, MemberKind::Method, value).ok());
    EXPECT_EQ(value[0], Variant::fromInt16(42));
    ASSERT_EQ(sink.calls.size(), 1u);
    EXPECT_EQ(sink.calls[0].first, idTick);
    EXPECT_EQ(sink.calls[0].second, std::vector{Variant::fromInt32(7)});
    EXPECT_EQ(counter->get(idCount).value, Variant::fromInt32(99));

    // An overflowing call fails and leaves the caller's argument as it was.
    Variant big[] = {Variant::fromInt16(20000)};
    EXPECT_EQ(counter->invoke(idDouble, MemberKind::Method, big).error, RuntimeError::Overflow);
    EXPECT_EQ(big[0], Variant::fromInt16(20000));

    counter->connectionPoint()->unadvise();
    ASSERT_TRUE(counter->invoke(idDouble, MemberKind::Method, value).ok());
    EXPECT_EQ(sink.calls.size(), 1u);
}

TEST(Lifetime, ObjectsLiveWhileReferencedAndCountInTheirModule)
{
    ASSERT_TRUE(testModule.canUnload());
    Ref<Dispatch> first = createCounter();
    EXPECT_EQ(first->refCount(), 1);
    {
        Ref<Dispatch> second = first;
        EXPECT_EQ(first->refCount(), 2);
        Ref<RefCounted> base = std::move(second);
        EXPECT_EQ(first->refCount(), 2);
        EXPECT_FALSE(second);
    }
    EXPECT_EQ(first->refCount(), 1);
    EXPECT_EQ(testModule.objectCount(), 1);
    EXPECT_EQ(testModule.canUnloadNow(), S_FALSE_);
    first = nullptr;
    EXPECT_EQ(testModule.objectCount(), 0);
    EXPECT_EQ(testModule.canUnloadNow(), S_OK_);
}

TEST(ClassFactory, HandsOutFactoriesByGuidAndCountsServerLocks)
{
    static constexpr ClassEntry classes[] = {
        {"{AAAAAAAA-0000-0000-0000-000000000001}", &createCounter}};
    ClassFactory* raw = nullptr;
    EXPECT_EQ(getClassObject(testModule, classes, "aaaaaaaa-0000-0000-0000-000000000001", &raw),
              S_OK_);
    const Ref<ClassFactory> factory = Ref<ClassFactory>::adopt(raw);
    ASSERT_TRUE(factory);
    EXPECT_EQ(factory->refCount(), 1);

    const Ref<Dispatch> object = factory->createInstance();
    ASSERT_TRUE(object);
    EXPECT_EQ(&object->interfaceInfo(), &counterInterface);

    factory->lockServer(true);
    EXPECT_EQ(testModule.lockCount(), 1);
    factory->lockServer(false);
    EXPECT_EQ(testModule.lockCount(), 0);

    raw = reinterpret_cast<ClassFactory*>(0x1);
    EXPECT_EQ(getClassObject(testModule, classes, "{AAAAAAAA-0000-0000-0000-000000000002}", &raw),
              ClassNotAvailable);
    EXPECT_EQ(raw, nullptr);
    EXPECT_EQ(getClassObject(testModule, classes, "not a guid", &raw), ClassNotAvailable);
    EXPECT_EQ(getClassObject(testModule, classes, classes[0].guid, nullptr), InvalidPointer);
}

} // namespace
