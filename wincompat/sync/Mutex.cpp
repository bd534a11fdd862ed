// Kernel mutexes: owned by a thread, recursive for their owner, abandoned when
// the owner ends without releasing them; named ones are shared in the process.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/Handles.h"

namespace {

struct MutexState {
    std::mutex lock;
    std::condition_variable released;
    DWORD owner = 0;  // thread id, 0 when free
    unsigned recursion = 0;
    bool abandoned = false;
};

class MutexObject : public wincompat::KernelObject {
public:
    explicit MutexObject(std::shared_ptr<MutexState> state) : state_(std::move(state)) {}
    const std::shared_ptr<MutexState>& State() const { return state_; }

private:
    std::shared_ptr<MutexState> state_;
};

// Mutexes owned by the current thread; at thread exit each is marked abandoned and freed.
class OwnedByThread {
public:
    ~OwnedByThread() {
        for (auto& weak : owned_) {
            std::shared_ptr<MutexState> state = weak.lock();
            if (!state) continue;
            std::lock_guard<std::mutex> guard(state->lock);
            if (state->owner != ownerId_) continue;
            state->owner = 0;
            state->recursion = 0;
            state->abandoned = true;
            state->released.notify_all();
        }
    }
    void Add(const std::shared_ptr<MutexState>& state, DWORD ownerId) {
        ownerId_ = ownerId;
        owned_.erase(std::remove_if(owned_.begin(), owned_.end(), [](const auto& w) { return w.expired(); }),
                     owned_.end());
        owned_.push_back(state);
    }

private:
    DWORD ownerId_ = 0;
    std::vector<std::weak_ptr<MutexState>> owned_;
};

thread_local OwnedByThread tls_owned;

struct NamedMutexes {
    std::mutex lock;
    std::map<std::u16string, std::weak_ptr<MutexState>> byName;
};

NamedMutexes& Names() {
    static NamedMutexes* names = new NamedMutexes;  // usable from other modules' static destructors
    return *names;
}

void TakeOwnership(MutexState& state, const std::shared_ptr<MutexState>& shared) {
    DWORD self = GetCurrentThreadId();
    if (state.owner != self) tls_owned.Add(shared, self);
    state.owner = self;
    ++state.recursion;
}

HANDLE CreateOrOpen(BOOL initialOwner, LPCWSTR name, bool mustExist) {
    std::shared_ptr<MutexState> state;
    bool existed = false;
    if (name && *name) {
        auto& names = Names();
        std::lock_guard<std::mutex> guard(names.lock);
        auto& slot = names.byName[std::u16string(name)];
        state = slot.lock();
        existed = state != nullptr;
        if (!state) {
            if (mustExist) {
                names.byName.erase(std::u16string(name));
                SetLastError(ERROR_FILE_NOT_FOUND);
                return nullptr;
            }
            state = std::make_shared<MutexState>();
            slot = state;
        }
    } else {
        if (mustExist) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        state = std::make_shared<MutexState>();
    }
    // As on Windows, the initial-owner request is ignored when the mutex already existed.
    if (initialOwner && !existed) {
        std::lock_guard<std::mutex> guard(state->lock);
        TakeOwnership(*state, state);
    }
    HANDLE handle = wincompat::RegisterHandle(std::make_unique<MutexObject>(state));
    SetLastError(existed && !mustExist ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

std::shared_ptr<MutexState> StateOf(HANDLE handle) {
    auto* mutex = wincompat::LookUpHandleAs<MutexObject>(handle);
    return mutex ? mutex->State() : nullptr;
}

}  // namespace

extern "C" HANDLE WINAPI CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCWSTR lpName) {
    return CreateOrOpen(bInitialOwner, lpName, false);
}

extern "C" HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
    if (!lpName) return CreateOrOpen(bInitialOwner, nullptr, false);
    int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, lpName, -1, nullptr, 0);
    if (size <= 0) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    std::u16string wide(static_cast<size_t>(size), u'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, lpName, -1, &wide[0], size);
    return CreateOrOpen(bInitialOwner, wide.c_str(), false);
}

extern "C" HANDLE WINAPI OpenMutexW(DWORD, BOOL, LPCWSTR lpName) { return CreateOrOpen(FALSE, lpName, true); }

extern "C" BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
    std::shared_ptr<MutexState> state = StateOf(hMutex);
    if (!state) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(state->lock);
    if (state->owner != GetCurrentThreadId()) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--state->recursion == 0) {
        state->owner = 0;
        state->released.notify_all();
    }
    return TRUE;
}

extern "C" DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    std::shared_ptr<MutexState> state = StateOf(hHandle);
    if (!state) {
        SetLastError(ERROR_INVALID_HANDLE);  // only mutexes can be waited for here
        return WAIT_FAILED;
    }
    DWORD self = GetCurrentThreadId();
    std::unique_lock<std::mutex> guard(state->lock);
    auto available = [&] { return state->owner == 0 || state->owner == self; };
    if (dwMilliseconds == INFINITE) {
        state->released.wait(guard, available);
    } else if (!state->released.wait_for(guard, std::chrono::milliseconds(dwMilliseconds), available)) {
        return WAIT_TIMEOUT;
    }
    bool wasAbandoned = state->abandoned;
    state->abandoned = false;
    TakeOwnership(*state, state);
    return wasAbandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}
