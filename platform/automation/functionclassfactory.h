// A class factory over a creation function, and the class-object look-up that a library's
// DllGetClassObject can delegate to.
#pragma once

#include "platform/automation/classfactory.h"
#include "platform/automation/hresult.h"
#include "platform/automation/moduleusage.h"

#include <span>

namespace automation {

using CreateFunction = Ref<Dispatch> (*)();

// Creates through `create`; server locks count in `usage`, which must outlive the factory.
class FunctionClassFactory : public ClassFactory {
public:
    FunctionClassFactory(ModuleUsage& usage, CreateFunction create)
        : m_usage(usage), m_create(create)
    {
    }

    Ref<Dispatch> createInstance() override { return m_create(); }
    void lockServer(bool lock) override;

private:
    ModuleUsage& m_usage;
    CreateFunction m_create;
};

// One creatable class of a library.
struct ClassEntry {
    const char* guid = nullptr;
    CreateFunction create = nullptr;
};

// The body of DllGetClassObject: stores a new factory with one reference in *factory.
// Errors: InvalidPointer when `factory` is null; ClassNotAvailable (and *factory null) when no
// entry has this GUID (case and braces do not matter) or `classGuid` is null.
HResult getClassObject(ModuleUsage& usage, std::span<const ClassEntry> classes,
                       const char* classGuid, ClassFactory** factory);

} // namespace automation
