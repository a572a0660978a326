// PropertyBag: where a host keeps an object's saved settings, typed values by key.
#pragma once

#include "platform/automation/variant.h"

#include <QByteArrayView>

namespace automation {

// Keys are plain names ("POPPort"). Reading never fails: a key that was never written reads as
// Empty, so the reader's conversion gives "" or 0. Writing keeps the variant's type.
class PropertyBag {
public:
    virtual ~PropertyBag();
    virtual Variant read(QByteArrayView key) const = 0;
    virtual void write(QByteArrayView key, const Variant& value) = 0;
};

} // namespace automation
