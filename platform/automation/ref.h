// Ref<T>: the owning smart pointer of reference-counted objects.
#pragma once

#include "platform/automation/refcounted.h"

#include <type_traits>
#include <utility>

namespace automation {

// Holds one reference. Constructing from a raw pointer takes a new reference; adopt() takes over
// one the caller already owns (as a C entry point hands out with its out-parameter), and detach()
// hands the held reference to such an out-parameter.
template <class T> class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    explicit Ref(T* object) : m_object(object) { retain(); }
    Ref(const Ref& other) : m_object(other.m_object) { retain(); }
    Ref(Ref&& other) noexcept : m_object(std::exchange(other.m_object, nullptr)) {}
    template <class U>
    requires std::is_convertible_v<U*, T*> Ref(const Ref<U>& other) : m_object(other.get())
    {
        retain();
    }
    template <class U>
    requires std::is_convertible_v<U*, T*> Ref(Ref<U>&& other) : m_object(other.detach()) {}
    ~Ref() { reset(); }

    Ref& operator=(Ref other) noexcept
    {
        std::swap(m_object, other.m_object);
        return *this;
    }

    static Ref adopt(T* object)
    {
        Ref ref;
        ref.m_object = object;
        return ref;
    }
    [[nodiscard]] T* detach() { return std::exchange(m_object, nullptr); }

    void reset()
    {
        if (T* object = std::exchange(m_object, nullptr))
            object->release();
    }

    T* get() const { return m_object; }
    T* operator->() const { return m_object; }
    T& operator*() const { return *m_object; }
    explicit operator bool() const { return m_object != nullptr; }

    friend bool operator==(const Ref& a, const Ref& b) { return a.m_object == b.m_object; }
    friend bool operator==(const Ref& a, std::nullptr_t) { return a.m_object == nullptr; }

private:
    void retain()
    {
        if (m_object)
            m_object->addRef();
    }

    T* m_object = nullptr;
};

// Creates an object and takes its first reference.
template <class T, class... Args> Ref<T> makeRef(Args&&... args)
{
    return Ref<T>(new T(std::forward<Args>(args)...));
}

} // namespace automation
