// A tiny automation library for the creation tests: one class "AutomationTest.Greeter" that
// registers itself, built as a loadable module with the four entry points.
#include "platform/automation/classregistry.h"
#include "platform/automation/conversions.h"
#include "platform/automation/functionclassfactory.h"
#include "platform/automation/libraryentrypoints.h"
#include "platform/automation/modulepath.h"
#include "platform/automation/tabledispatch.h"

#include <array>

using namespace automation;

namespace {

constexpr char greeterGuid[] = "{C0FFEE00-1234-4321-ABCD-0123456789AB}";
constexpr char libraryGuid[] = "{C0FFEE00-1234-4321-ABCD-0123456789AC}";
constexpr char greeterProgId[] = "AutomationTest.Greeter";

constexpr std::array greeterMembers{
    propGet(1, "Greeting", ValueType::String, "The word before the name."),
    propPut(1, "Greeting", ValueType::String, "The word before the name."),
    method(2, "Greet", ValueType::String, {ParamInfo{"strName", ValueType::String, true}},
           "Greets and upper-cases the name in place."),
};
static_assert(hasUniqueIds(greeterMembers) && hasConsistentNames(greeterMembers));
constexpr InterfaceInfo greeterInterface{"_Greeter", "{C0FFEE00-1234-4321-ABCD-0123456789AD}",
                                         InterfaceFlags::Dual, greeterMembers, nullptr};

ModuleUsage& module()
{
    static ModuleUsage usage;
    return usage;
}

class Greeter : public TableDispatch {
public:
    const InterfaceInfo& interfaceInfo() const override { return greeterInterface; }

protected:
    CallResult invokeMember(const MemberInfo& member, std::span<Variant> args) override
    {
        if (member.kind == MemberKind::PropertyGet)
            return CallResult::success(Variant::fromString(m_greeting));
        const Converted<QByteArray> text = toString(args[0]);
        if (!text.ok())
            return CallResult::failure(text.error);
        if (member.kind == MemberKind::PropertyPut) {
            m_greeting = text.value;
            return CallResult::success();
        }
        args[0] = Variant::fromString(text.value.toUpper());
        return CallResult::success(Variant::fromString(m_greeting + ", " + text.value));
    }

private:
    ModuleUsage::ObjectToken m_token{module()};
    QByteArray m_greeting = "Hello";
};

Ref<Dispatch> createGreeter()
{
    return makeRef<Greeter>();
}

constexpr ClassEntry classes[] = {{greeterGuid, &createGreeter}};

} // namespace

AUTOMATION_ENTRY_POINT HResult DllCanUnloadNow()
{
    return module().canUnloadNow();
}

AUTOMATION_ENTRY_POINT HResult DllGetClassObject(const char* classGuid, ClassFactory** factory)
{
    return getClassObject(module(), classes, classGuid, factory);
}

AUTOMATION_ENTRY_POINT HResult DllRegisterServer()
{
    const QString path = modulePath(reinterpret_cast<const void*>(&DllRegisterServer));
    ClassRegistry registry;
    if (!registry.registerClass({greeterGuid, "Greeter", path, "Apartment"}) ||
        !registry.registerProgId(greeterProgId, greeterGuid))
        return ClassRegistrationFailed;
    if (!registry.registerTypeLibrary({libraryGuid, 1, 0, path, "GreeterLib"}))
        return ClassRegistrationFailed;
    return S_OK_;
}

AUTOMATION_ENTRY_POINT HResult DllUnregisterServer()
{
    ClassRegistry registry;
    const bool ok = registry.unregisterProgId(greeterProgId) &&
                    registry.unregisterClass(greeterGuid) &&
                    registry.unregisterTypeLibrary(libraryGuid);
    return ok ? S_OK_ : ClassRegistrationFailed;
}
