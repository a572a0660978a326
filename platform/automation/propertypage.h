// PropertyPage: an object's settings page as a design environment drives it.
#pragma once

#include "platform/automation/callresult.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/ref.h"

#include <QList>

class QWidget;

namespace automation {

class PropertyPage {
public:
    virtual ~PropertyPage();

    // The page's widget, created on first call (needs a QApplication); the page owns it.
    virtual QWidget* widget(QWidget* parent = nullptr) = 0;
    // "Selection changed": the objects being edited; the page loads from the first one.
    virtual void setObjects(const QList<Ref<Dispatch>>& objects) = 0;
    // "Apply changes": writes the page into the first object; stops at the first failed put
    // and returns its error.
    virtual CallResult apply() = 0;
    // The changed flag: there is something to apply.
    virtual bool isChanged() const = 0;
};

} // namespace automation
