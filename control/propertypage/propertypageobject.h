// PropertyPageObject: the automation object of the class Vorlane_Property_Page, the control's
// settings page as a design environment creates and drives it.
#pragma once

#include "control/propertypage/vorlanepropertypage.h"
#include "platform/automation/moduleusage.h"
#include "platform/automation/propertypage.h"
#include "platform/automation/tabledispatch.h"

#include <QPointer>

// Its interface _Vorlane_Property_Page has no members: every invoke fails with
// ObjectDoesntSupport. The page widget is made only when the host asks for it, so the object can
// be created and released without a window system.
class PropertyPageObject final : public automation::TableDispatch, public automation::PropertyPage {
public:
    PropertyPageObject();
    // Deletes the widget unless its parent already did.
    ~PropertyPageObject() override;

    const automation::InterfaceInfo& interfaceInfo() const override;
    automation::PropertyPage* propertyPage() override { return this; }

    // Created on the first call with that parent (needs a QApplication) and loaded from the
    // selection given so far; later calls return the same widget. If its parent deleted it, the
    // next call makes and loads a new one.
    QWidget* widget(QWidget* parent = nullptr) override;
    // Remembered for a widget made later; passed on to an existing one.
    void setObjects(const QList<automation::Ref<automation::Dispatch>>& objects) override;
    // Without a widget there are no edits: success, nothing written.
    automation::CallResult apply() override;
    // False without a widget.
    bool isChanged() const override;

protected:
    automation::CallResult invokeMember(const automation::MemberInfo& member,
                                        std::span<automation::Variant> args) override;

private:
    automation::ModuleUsage::ObjectToken m_liveObject;
    QList<automation::Ref<automation::Dispatch>> m_objects;
    QPointer<VorlanePropertyPage> m_page;
};
