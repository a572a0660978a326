// LazyPropertyPage: the widget side of the page class Vorlane_Property_Page. Its widget is made
// only when the host asks for it, so the page can be created and released without a window system.
#pragma once

#include "control/ui/vorlanepropertypage.h"
#include "platform/automation/propertypage.h"

#include <QPointer>

class LazyPropertyPage final : public automation::PropertyPage {
public:
    LazyPropertyPage() = default;
    // Deletes the widget unless its parent already did.
    ~LazyPropertyPage() override;

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

private:
    QList<automation::Ref<automation::Dispatch>> m_objects;
    QPointer<VorlanePropertyPage> m_page;
};
