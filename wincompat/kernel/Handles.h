// Kernel object handles: every HANDLE that wincompat hands out points at a
// KernelObject registered here, so that CloseHandle can tell a live handle
// from a stale or foreign one instead of crashing on it.
#pragma once
#include <windows.h>

#include <memory>

namespace wincompat {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// Takes ownership and returns the handle that names the object.
HANDLE RegisterHandle(std::unique_ptr<KernelObject> object);
// The live object behind a handle, or null (the object stays owned by the table).
KernelObject* LookUpHandle(HANDLE handle);

template <typename T>
T* LookUpHandleAs(HANDLE handle) {
    return dynamic_cast<T*>(LookUpHandle(handle));
}

}  // namespace wincompat
