// Property bag interface.
#include "platform/automation/propertybag.h"

namespace automation {

PropertyBag::~PropertyBag() = default;

} // namespace automation
