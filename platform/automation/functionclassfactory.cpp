// Class factories over creation functions.
#include "platform/automation/functionclassfactory.h"

#include "platform/automation/guid.h"

namespace automation {

void FunctionClassFactory::lockServer(bool lock)
{
    if (lock)
        m_usage.addLock();
    else
        m_usage.removeLock();
}

HResult getClassObject(ModuleUsage& usage, std::span<const ClassEntry> classes,
                       const char* classGuid, ClassFactory** factory)
{
    if (!factory)
        return InvalidPointer;
    *factory = nullptr;
    if (!classGuid)
        return ClassNotAvailable;
    for (const ClassEntry& entry : classes) {
        if (sameGuid(classGuid, entry.guid)) {
            *factory = makeRef<FunctionClassFactory>(usage, entry.create).detach();
            return S_OK_;
        }
    }
    return ClassNotAvailable;
}

} // namespace automation
