// The automation object of the control: _Vorlane by member id over the Vorlane class, its one
// event, its lifecycle and its persisted settings.
#pragma once

#include "control/vorlane.h"
#include "platform/automation/connectionpoint.h"
#include "platform/automation/embeddedcontrol.h"
#include "platform/automation/moduleusage.h"
#include "platform/automation/tabledispatch.h"

namespace automation {
class PropertyBag;
}

// The library's count of live objects and locks, for DllCanUnloadNow.
automation::ModuleUsage& vorlaneModuleUsage();

class VorlaneObject final : public automation::TableDispatch, public automation::EmbeddedControl {
public:
    // Initialize and the defaults of a newly placed instance (InitProperties).
    VorlaneObject();
    // Terminate: a connected instance disconnects through its own interface (QUIT is sent).
    ~VorlaneObject() override;

    const automation::InterfaceInfo& interfaceInfo() const override;
    automation::ConnectionPoint* connectionPoint() override { return &m_events; }
    automation::EmbeddedControl* embeddedControl() override { return this; }

    // Container calls. The five settings are read and written in this order: POPHostname,
    // POPPort, POPUsername, POPPassword, POPTimeout. A missing key reads as empty (so port and
    // timeout 0); a stored value that cannot be converted ends the restore with that error.
    void initProperties() override;
    automation::CallResult readProperties(const automation::PropertyBag& bag) override;
    void writeProperties(automation::PropertyBag& bag) const override;
    // The face is always 32 by 32 pixels, whatever the host asks for.
    QSize resize(QSize requestedPixels) override;
    // Null when the control's widgets cannot be loaded.
    QWidget* createFace(QWidget* parent) override;
    // Its one page: Vorlane_Property_Page.
    QByteArrayList propertyPages() const override;

    static constexpr int kFacePixels = 32;

    Vorlane& control() { return m_control; }

protected:
    automation::CallResult invokeMember(const automation::MemberInfo& member,
                                        std::span<automation::Variant> args) override;
    bool putIgnoresValue(qint32 dispid) const override;

private:
    void raiseMsgReadStatus(qint32& readK, qint32& totalK, qint16& percent);
    void terminate();

    automation::ModuleUsage::ObjectToken m_liveObject{vorlaneModuleUsage()};
    Vorlane m_control;
    automation::ConnectionPoint m_events;
};
