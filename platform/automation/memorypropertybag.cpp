// In-memory property bag.
#include "platform/automation/memorypropertybag.h"

namespace automation {

Variant MemoryPropertyBag::read(QByteArrayView key) const
{
    return m_values.value(key.toByteArray());
}

void MemoryPropertyBag::write(QByteArrayView key, const Variant& value)
{
    const QByteArray name = key.toByteArray();
    if (!m_values.contains(name))
        m_order.append(name);
    m_values.insert(name, value);
}

bool MemoryPropertyBag::contains(QByteArrayView key) const
{
    return m_values.contains(key.toByteArray());
}

void MemoryPropertyBag::remove(QByteArrayView key)
{
    const QByteArray name = key.toByteArray();
    m_values.remove(name);
    m_order.removeAll(name);
}

} // namespace automation
