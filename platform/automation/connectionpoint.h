// ConnectionPoint: where an object that raises events accepts its one sink.
#pragma once

#include "platform/automation/conversions.h"
#include "platform/automation/eventsink.h"
#include "platform/automation/typedvalue.h"
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

    // raise() with typed arguments, all by reference: each goes to the sink as a variant of its
    // type and what the sink left comes back converted; a value the sink made unconvertible
    // leaves the old one.
    template <class... T> void raiseTyped(qint32 dispid, T&... values) const
    {
        Variant args[] = {TypedValue<T>::toVariant(values)...};
        raise(dispid, args);
        std::size_t i = 0;
        (readBack(args[i++], values), ...);
    }

private:
    template <class T> static void readBack(const Variant& arg, T& value)
    {
        const Converted<Variant> converted = coerce(arg, TypedValue<T>::type);
        if (converted.ok())
            value = TypedValue<T>::fromVariant(converted.value);
    }

    const InterfaceInfo& m_events;
    EventSink* m_sink = nullptr;
};

} // namespace automation
