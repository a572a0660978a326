// MemoryPropertyBag: a property bag held in memory, for hosts that save elsewhere and for tests.
#pragma once

#include "platform/automation/propertybag.h"

#include <QByteArray>
#include <QMap>

namespace automation {

class MemoryPropertyBag : public PropertyBag {
public:
    Variant read(QByteArrayView key) const override;
    void write(QByteArrayView key, const Variant& value) override;

private:
    QMap<QByteArray, Variant> m_values;
};

} // namespace automation
