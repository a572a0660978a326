// The page class's automation object: its empty interface, its place in the library's count, and
// the page from the control's widgets.
#include "control/propertypage/propertypageobject.h"

#include "control/vorlaneinterface.h"
#include "control/vorlaneobject.h"
#include "control/vorlanewidgets.h"

using automation::CallResult;

PropertyPageObject::PropertyPageObject(const VorlaneWidgets& widgets)
    : m_liveObject(vorlaneModuleUsage()), m_page(widgets.createPropertyPage())
{
}

PropertyPageObject::~PropertyPageObject() = default;

const automation::InterfaceInfo& PropertyPageObject::interfaceInfo() const
{
    return vorlaneinterface::kPropertyPageInterface;
}

CallResult PropertyPageObject::invokeMember(const automation::MemberInfo&,
                                            std::span<automation::Variant>)
{
    // The interface has no members, so the table check answers every call before this.
    return CallResult::failure(automation::RuntimeError::ObjectDoesntSupport);
}
