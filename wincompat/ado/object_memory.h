// Memory for the ADO objects made for every statement (commands, their
// parameters, recordsets and result sets), kept by the thread that let an
// object go and given to the next object of about the same size that the
// thread makes. The plug-ins make and drop these objects for each
// statement, and the C library's allocator cost more than the rest of making
// them. Only the memory is reused: every object is constructed afresh in it.
#pragma once
#include <cstddef>
#include <new>

namespace wincompat::ado {

class ObjectMemory {
public:
    // Room for `size` bytes; throws std::bad_alloc.
    static void* Allocate(std::size_t size);
    // The same, null instead of throwing.
    static void* TryAllocate(std::size_t size) noexcept;
    // Takes back what Allocate or TryAllocate gave for the same `size`, on
    // any thread.
    static void Free(void* block, std::size_t size) noexcept;
};

// For std::allocate_shared and containers of objects made per statement.
template <class T>
struct ObjectAllocator {
    using value_type = T;
    ObjectAllocator() = default;
    template <class U>
    ObjectAllocator(const ObjectAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(ObjectMemory::Allocate(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { ObjectMemory::Free(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const ObjectAllocator<U>&) const noexcept {
        return true;
    }
    template <class U>
    bool operator!=(const ObjectAllocator<U>&) const noexcept {
        return false;
    }
};

// The class's objects live in ObjectMemory. Inside the class's definition.
#define WINCOMPAT_ADO_OBJECT_MEMORY(Class)                                                                      \
    static void* operator new(std::size_t size) { return ObjectMemory::Allocate(size); }                         \
    static void* operator new(std::size_t size, const std::nothrow_t&) noexcept {                                \
        return ObjectMemory::TryAllocate(size);                                                                  \
    }                                                                                                            \
    static void operator delete(void* block, std::size_t size) noexcept { ObjectMemory::Free(block, size); }     \
    static void operator delete(void* block, const std::nothrow_t&) noexcept {                                   \
        ObjectMemory::Free(block, sizeof(Class));                                                                \
    }

}  // namespace wincompat::ado
