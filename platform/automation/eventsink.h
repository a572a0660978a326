// EventSink: the host's receiver of an object's events.
#pragma once

#include "platform/automation/variant.h"

#include <QtGlobal>
#include <span>

namespace automation {

// Events are late-bound calls in the other direction: by the member ids of the object's source
// interface. Arguments declared by reference may be changed by the sink; the source reads them
// back from the same span after invoke returns. A sink reports no errors to the source.
class EventSink {
public:
    virtual ~EventSink();
    virtual void invoke(qint32 dispid, std::span<Variant> args) = 0;
};

} // namespace automation
