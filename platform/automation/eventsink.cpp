// Event sink.
#include "platform/automation/eventsink.h"

namespace automation {

EventSink::~EventSink() = default;

} // namespace automation
