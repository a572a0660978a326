// ModuleUsage: how many objects of a library are alive and how many host locks it holds, the
// answer to the library's unload query.
#pragma once

#include "platform/automation/hresult.h"

#include <atomic>

namespace automation {

// Each library owns one instance (this static library keeps none of its own, so every module
// counts apart). Objects count themselves through an ObjectToken member; ClassFactory::lockServer
// maps to addLock/removeLock.
class ModuleUsage {
public:
    // Counts an object for as long as the token lives; copies count again.
    class ObjectToken {
    public:
        explicit ObjectToken(ModuleUsage& usage) : m_usage(usage) { m_usage.addObject(); }
        ObjectToken(const ObjectToken& other) : m_usage(other.m_usage) { m_usage.addObject(); }
        ObjectToken& operator=(const ObjectToken&) = delete;
        ~ObjectToken() { m_usage.removeObject(); }

    private:
        ModuleUsage& m_usage;
    };

    void addObject() { m_objects.fetch_add(1); }
    void removeObject() { m_objects.fetch_sub(1); }
    void addLock() { m_locks.fetch_add(1); }
    void removeLock() { m_locks.fetch_sub(1); }

    int objectCount() const { return m_objects.load(); }
    int lockCount() const { return m_locks.load(); }

    // No live objects and no locks.
    bool canUnload() const { return objectCount() == 0 && lockCount() == 0; }
    // What DllCanUnloadNow returns: S_OK_ when it can unload, S_FALSE_ otherwise.
    HResult canUnloadNow() const { return canUnload() ? S_OK_ : S_FALSE_; }

private:
    std::atomic<int> m_objects{0};
    std::atomic<int> m_locks{0};
};

} // namespace automation
