// The lock of one ADO object. Its sections are a few loads and stores (a
// property read or written, a position moved), taken on almost every COM
// call: an atomic flag costs a fraction of a mutex there. A thread that finds
// it taken yields until it is free, so that a holder who was descheduled
// gets the processor back.
#pragma once
#include <atomic>
#include <thread>

namespace wincompat::ado {

class ObjectLock {
public:
    ObjectLock() = default;
    ObjectLock(const ObjectLock&) = delete;
    ObjectLock& operator=(const ObjectLock&) = delete;

    void lock() noexcept {
        while (taken_.exchange(true, std::memory_order_acquire)) {
            while (taken_.load(std::memory_order_relaxed)) std::this_thread::yield();
        }
    }
    bool try_lock() noexcept {
        return !taken_.load(std::memory_order_relaxed) && !taken_.exchange(true, std::memory_order_acquire);
    }
    void unlock() noexcept { taken_.store(false, std::memory_order_release); }

private:
    std::atomic<bool> taken_{false};
};

}  // namespace wincompat::ado
