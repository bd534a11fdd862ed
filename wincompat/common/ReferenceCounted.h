// The reference count of a COM object that deletes itself with its last
// reference, safe across threads.
#pragma once
#include <windows.h>

#include <atomic>

namespace wincompat {

// `Object` is the class deleted at zero: the most derived one, or a base whose
// destructor is virtual. It derives from ReferenceCounted<Object> publicly and,
// when its destructor is not public, befriends it.
template <class Object>
class ReferenceCounted {
public:
    ReferenceCounted(const ReferenceCounted&) = delete;
    ReferenceCounted& operator=(const ReferenceCounted&) = delete;

protected:
    ReferenceCounted() = default;
    ~ReferenceCounted() = default;

    ULONG AddReference() { return ++references_; }
    ULONG ReleaseReference() {
        ULONG left = --references_;
        if (left == 0) delete static_cast<Object*>(this);
        return left;
    }

public:
    // For the object's creator only: sets the count while no other thread
    // can see the object yet, without ordering the store.
    void SetUnsharedReferences(ULONG count) { references_.store(count, std::memory_order_relaxed); }

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace wincompat
