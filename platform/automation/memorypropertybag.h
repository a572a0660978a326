// MemoryPropertyBag: a property bag held in memory, for hosts that save elsewhere and for tests.
#pragma once

#include "platform/automation/propertybag.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QMap>

namespace automation {

class MemoryPropertyBag : public PropertyBag {
public:
    Variant read(QByteArrayView key) const override;
    void write(QByteArrayView key, const Variant& value) override;

    bool contains(QByteArrayView key) const;
    void remove(QByteArrayView key);
    // Keys in the order they were first written.
    QByteArrayList keys() const { return m_order; }

private:
    QMap<QByteArray, Variant> m_values;
    QByteArrayList m_order;
};

} // namespace automation
