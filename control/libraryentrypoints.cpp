// The library's four C entry points: class objects, the unload query and self-registration in
// the per-user class registry (or the system-wide one, for regsvr --system).
#include "platform/automation/libraryentrypoints.h"

#include "control/propertypage/propertypageobject.h"
#include "control/vorlaneinterface.h"
#include "control/vorlaneobject.h"
#include "control/vorlanewidgets.h"
#include "platform/automation/classregistry.h"
#include "platform/automation/functionclassfactory.h"
#include "platform/automation/guid.h"
#include "platform/automation/hresult.h"
#include "platform/automation/modulepath.h"

#include <cstdio>

using automation::HResult;
namespace iface = vorlaneinterface;

namespace {

automation::Ref<automation::Dispatch> createVorlane()
{
    return automation::makeRef<VorlaneObject>();
}

automation::Ref<automation::Dispatch> createPropertyPage()
{
    const VorlaneWidgets* widgets = vorlaneWidgets();
    if (!widgets) {
        return nullptr;
    }
    return automation::makeRef<PropertyPageObject>(*widgets);
}

// The page class is a page only with the control's widgets: without them the class is refused,
// and the reason (which file, what the loader said) goes to standard error.
bool pageClassUnavailable(const char* classGuid)
{
    if (!classGuid || !automation::sameGuid(classGuid, iface::kPropertyPageClass.guid)) {
        return false;
    }
    QByteArray failure;
    if (vorlaneWidgets(&failure)) {
        return false;
    }
    std::fprintf(stderr, "VRLN401: %s is not available: %s\n", iface::kPropertyPageClass.name,
                 failure.constData());
    return true;
}

const automation::ClassEntry kCreatableClasses[] = {
    {iface::kVorlaneClass.guid, &createVorlane},
    {iface::kPropertyPageClass.guid, &createPropertyPage},
};

constexpr const char* kThreadingModel = "Apartment"; // one thread: the host's UI thread

QString libraryPath()
{
    return automation::modulePath(reinterpret_cast<const void*>(&createVorlane));
}

} // namespace

AUTOMATION_ENTRY_POINT HResult DllCanUnloadNow()
{
    return vorlaneModuleUsage().canUnloadNow();
}

AUTOMATION_ENTRY_POINT HResult DllGetClassObject(const char* classGuid,
                                                 automation::ClassFactory** factory)
{
    if (factory && pageClassUnavailable(classGuid)) {
        *factory = nullptr;
        return automation::ModuleNotFound;
    }
    return automation::getClassObject(vorlaneModuleUsage(), kCreatableClasses, classGuid, factory);
}

AUTOMATION_ENTRY_POINT HResult DllRegisterServer()
{
    const QString path = libraryPath();
    if (path.isEmpty()) {
        return automation::ClassRegistrationFailed;
    }
    automation::ClassRegistry registry = automation::ClassRegistry::forRegistration();
    bool ok = true;
    for (const automation::ClassInfo* info : {&iface::kVorlaneClass, &iface::kPropertyPageClass}) {
        ok = registry.registerClass({info->guid, info->name, path, kThreadingModel}) && ok;
    }
    ok = registry.registerProgId(iface::kProgId, iface::kVorlaneClass.guid) && ok;
    const automation::TypeLibraryInfo& library = iface::kTypeLibrary;
    ok = registry.registerTypeLibrary(
             {library.guid, library.major, library.minor, path, library.name}) &&
         ok;
    return ok ? automation::S_OK_ : automation::ClassRegistrationFailed;
}

AUTOMATION_ENTRY_POINT HResult DllUnregisterServer()
{
    automation::ClassRegistry registry = automation::ClassRegistry::forRegistration();
    bool ok = registry.unregisterProgId(iface::kProgId);
    for (const automation::ClassInfo* info : {&iface::kVorlaneClass, &iface::kPropertyPageClass}) {
        ok = registry.unregisterClass(info->guid) && ok;
    }
    ok = registry.unregisterTypeLibrary(iface::kTypeLibrary.guid) && ok;
    return ok ? automation::S_OK_ : automation::ClassRegistrationFailed;
}

AUTOMATION_ENTRY_POINT const automation::TypeLibraryInfo* AutomationTypeLibrary()
{
    return &iface::kTypeLibrary;
}
