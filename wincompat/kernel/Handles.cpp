// The process's handle table: a HANDLE is the address of its registered KernelObject; CloseHandle
// destroys the object and refuses a handle it does not know.
#include "kernel/Handles.h"

#include <mutex>
#include <unordered_map>

namespace wincompat {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<HANDLE, std::unique_ptr<KernelObject>> objects;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;  // outlives static destructors of other modules
    return *table;
}

}  // namespace

HANDLE RegisterHandle(std::unique_ptr<KernelObject> object) {
    HANDLE handle = object.get();
    std::lock_guard<std::mutex> guard(Table().lock);
    Table().objects.emplace(handle, std::move(object));
    return handle;
}

KernelObject* LookUpHandle(HANDLE handle) {
    std::lock_guard<std::mutex> guard(Table().lock);
    auto it = Table().objects.find(handle);
    return it == Table().objects.end() ? nullptr : it->second.get();
}

}  // namespace wincompat

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    std::unique_ptr<wincompat::KernelObject> doomed;
    {
        auto& table = wincompat::Table();
        std::lock_guard<std::mutex> guard(table.lock);
        auto it = table.objects.find(hObject);
        if (it == table.objects.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        doomed = std::move(it->second);
        table.objects.erase(it);
    }
    return TRUE;  // the object is destroyed outside the table lock
}
