// The page's widget made on demand, the selection kept for it, calls passed on.
#include "control/ui/lazypropertypage.h"

LazyPropertyPage::~LazyPropertyPage()
{
    delete m_page.data();
}

QWidget* LazyPropertyPage::widget(QWidget* parent)
{
    if (!m_page) {
        m_page = new VorlanePropertyPage(parent);
        m_page->setObjects(m_objects);
    }
    return m_page.data();
}

void LazyPropertyPage::setObjects(const QList<automation::Ref<automation::Dispatch>>& objects)
{
    m_objects = objects;
    if (m_page)
        m_page->setObjects(objects);
}

automation::CallResult LazyPropertyPage::apply()
{
    return m_page ? m_page->apply() : automation::CallResult::success();
}

bool LazyPropertyPage::isChanged() const
{
    return m_page && m_page->isChanged();
}
