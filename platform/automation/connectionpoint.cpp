// Raising events.
#include "platform/automation/connectionpoint.h"

namespace automation {

void ConnectionPoint::raise(qint32 dispid, std::span<Variant> args) const
{
    // Read once: a handler that unadvises must not make us call through a stale pointer twice.
    EventSink* sink = m_sink;
    if (sink)
        sink->invoke(dispid, args);
}

} // namespace automation
