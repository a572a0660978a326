// EventPrinter: the shell's event sink, which writes each event as one JSON line as it comes.
#pragma once

#include "platform/automation/eventsink.h"
#include "platform/automation/typeinfo.h"
#include "tools/vorlane-shell/lineoutput.h"

namespace vorlaneshell {

// Events arrive while a call runs (the object pumps the event loop), so their lines come before
// the call's own result line. The sink leaves by-reference arguments unchanged.
class EventPrinter final : public automation::EventSink {
public:
    explicit EventPrinter(LineOutput output) : m_output(std::move(output)) {}

    // The source interface that names the events; without one an event is named "#" + its id.
    void setEvents(const automation::InterfaceInfo* events) { m_events = events; }

    void invoke(qint32 dispid, std::span<automation::Variant> args) override;

private:
    LineOutput m_output;
    const automation::InterfaceInfo* m_events = nullptr;
};

} // namespace vorlaneshell
