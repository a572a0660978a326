// PropertyPageObject: the automation object of the class Vorlane_Property_Page, the control's
// settings page as a design environment creates and drives it.
#pragma once

#include "platform/automation/moduleusage.h"
#include "platform/automation/propertypage.h"
#include "platform/automation/tabledispatch.h"

#include <memory>

class VorlaneWidgets;

// Its interface _Vorlane_Property_Page has no members: every invoke fails with
// ObjectDoesntSupport. The page itself, which makes its widget only when the host asks for it,
// comes from the control's widgets.
class PropertyPageObject final : public automation::TableDispatch, public automation::PropertyPage {
public:
    explicit PropertyPageObject(const VorlaneWidgets& widgets);
    ~PropertyPageObject() override;

    const automation::InterfaceInfo& interfaceInfo() const override;
    automation::PropertyPage* propertyPage() override { return this; }

    // The page's calls (see automation::PropertyPage), passed on.
    QWidget* widget(QWidget* parent = nullptr) override { return m_page->widget(parent); }
    void setObjects(const QList<automation::Ref<automation::Dispatch>>& objects) override
    {
        m_page->setObjects(objects);
    }
    automation::CallResult apply() override { return m_page->apply(); }
    bool isChanged() const override { return m_page->isChanged(); }

protected:
    automation::CallResult invokeMember(const automation::MemberInfo& member,
                                        std::span<automation::Variant> args) override;

private:
    automation::ModuleUsage::ObjectToken m_liveObject;
    std::unique_ptr<automation::PropertyPage> m_page;
};
