// In-memory property bag.
#include "platform/automation/memorypropertybag.h"

namespace automation {

Variant MemoryPropertyBag::read(QByteArrayView key) const
{
    return m_values.value(key.toByteArray());
}

void MemoryPropertyBag::write(QByteArrayView key, const Variant& value)
{
    m_values.insert(key.toByteArray(), value);
}

} // namespace automation
