#include "platform/automation/embeddedcontrol.h"

#include "platform/automation/propertypage.h"

namespace automation {

EmbeddedControl::~EmbeddedControl() = default;
PropertyPage::~PropertyPage() = default;

} // namespace automation
