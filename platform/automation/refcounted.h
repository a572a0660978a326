// Intrusive reference counting: objects handed across library boundaries are freed by the module
// that made them, when the last holder lets go.
#pragma once

#include <atomic>

namespace automation {

// A new object starts with no references; the first Ref (or addRef) takes one. release() deletes
// the object when the count reaches zero, through the virtual destructor, so the deletion runs in
// the module that created it.
class RefCounted {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    void addRef() const { m_refs.fetch_add(1, std::memory_order_relaxed); }
    void release() const;
    int refCount() const { return m_refs.load(std::memory_order_relaxed); }

protected:
    RefCounted() = default;
    virtual ~RefCounted();

private:
    mutable std::atomic<int> m_refs{0};
};

} // namespace automation
