// VorlanePropertyPage: the settings page of the Vorlane control, eight text boxes bound by name to
// the control's properties.
#pragma once

#include "platform/automation/callresult.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/ref.h"

#include <QList>
#include <QWidget>

class QLineEdit;

// Talks to the edited control only through its dispatch interface, by property name, so it edits
// any object with these properties. Texts cross as Latin-1, one character per byte, so that an
// apply without edits writes back exactly the bytes it read.
class VorlanePropertyPage : public QWidget {
    Q_OBJECT
public:
    explicit VorlanePropertyPage(QWidget* parent = nullptr);

    // "Selection changed": remembers the first object and loads every box from it (DebugFile,
    // DebugMode, Version, POPTimeout, POPPassword, POPUsername, POPPort, POPHostname). A property
    // that cannot be read or shown as text leaves its box as it was. An empty selection loads
    // nothing and leaves nothing to apply.
    void setObjects(const QList<automation::Ref<automation::Dispatch>>& objects);

    // "Apply changes": puts every box's text as a String into the first object, in the load
    // order, and stops at the first failed put, returning its error (ObjectDoesntSupport when the
    // object lacks a property). Blocks while the control shows its modal box for the Version put.
    // Success clears the changed flag; a failure keeps it, as the edits are not all applied.
    // Without a selection: success, nothing written.
    automation::CallResult apply();

    // Set by every change of any box's text, also the one the loading makes.
    bool isChanged() const { return m_changed; }

private:
    void createControls();
    void orderByTabIndex();
    QLineEdit* boxOf(const char* property) const;

    automation::Ref<automation::Dispatch> m_object;
    bool m_changed = false;
};
