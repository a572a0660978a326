// Reference counting.
#include "platform/automation/refcounted.h"

namespace automation {

RefCounted::~RefCounted() = default;

void RefCounted::release() const
{
    if (m_refs.fetch_sub(1, std::memory_order_acq_rel) == 1)
        delete this;
}

} // namespace automation
