// ClassFactory: what a library's DllGetClassObject hands out to create instances of one class.
#pragma once

#include "platform/automation/dispatch.h"
#include "platform/automation/ref.h"

namespace automation {

class ClassFactory : public RefCounted {
public:
    // A new instance, or null when it could not be made.
    virtual Ref<Dispatch> createInstance() = 0;
    // true keeps the library loaded even without live objects; each true needs one false.
    virtual void lockServer(bool lock) = 0;
};

} // namespace automation
