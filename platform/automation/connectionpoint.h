// ConnectionPoint: where an object that raises events accepts its one sink.
#pragma once

#include "platform/automation/eventsink.h"
#include "platform/automation/typeinfo.h"

namespace automation {

// An object with events owns one ConnectionPoint and hands it out through
// Dispatch::connectionPoint(). It holds at most one sink and does not own it: the host advises
// a sink that outlives the advice and unadvises before destroying it.
class ConnectionPoint {
public:
    // `events` describes the source interface: the ids and arguments raise() uses.
    explicit ConnectionPoint(const InterfaceInfo& events) : m_events(events) {}

    const InterfaceInfo& events() const { return m_events; }

    // Replaces any earlier sink; null is the same as unadvise().
    void advise(EventSink* sink) { m_sink = sink; }
    void unadvise() { m_sink = nullptr; }
    EventSink* sink() const { return m_sink; }

    // Calls the sink, if any, and returns once it has handled the event; by-reference arguments
    // may have changed on return. Without a sink it does nothing.
    void raise(qint32 dispid, std::span<Variant> args) const;

private:
    const InterfaceInfo& m_events;
    EventSink* m_sink = nullptr;
};

} // namespace automation
