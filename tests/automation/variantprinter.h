// Readable variants in test failure messages.
#pragma once

#include "platform/automation/variant.h"

#include <ostream>

namespace automation {

inline void PrintTo(const Variant& value, std::ostream* os)
{
    *os << value.debugText().constData();
}

} // namespace automation
