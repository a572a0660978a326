// The page class's automation object: lazy widget, selection kept for it, calls passed on.
#include "control/propertypage/propertypageobject.h"

#include "control/vorlaneinterface.h"
#include "control/vorlaneobject.h"

using automation::CallResult;

PropertyPageObject::PropertyPageObject() : m_liveObject(vorlaneModuleUsage()) {}

PropertyPageObject::~PropertyPageObject()
{
    delete m_page.data();
}

const automation::InterfaceInfo& PropertyPageObject::interfaceInfo() const
{
    return vorlaneinterface::kPropertyPageInterface;
}

QWidget* PropertyPageObject::widget(QWidget* parent)
{
    if (!m_page) {
        m_page = new VorlanePropertyPage(parent);
        m_page->setObjects(m_objects);
    }
    return m_page.data();
}

void PropertyPageObject::setObjects(const QList<automation::Ref<automation::Dispatch>>& objects)
{
    m_objects = objects;
    if (m_page)
        m_page->setObjects(objects);
}

CallResult PropertyPageObject::apply()
{
    return m_page ? m_page->apply() : CallResult::success();
}

bool PropertyPageObject::isChanged() const
{
    return m_page && m_page->isChanged();
}

CallResult PropertyPageObject::invokeMember(const automation::MemberInfo&,
                                            std::span<automation::Variant>)
{
    // The interface has no members, so the table check answers every call before this.
    return CallResult::failure(automation::RuntimeError::ObjectDoesntSupport);
}
