// The table of built-in classes: filled while modules load, read on every activation without a
// lock, looked up by CLSID or, ignoring case, by ProgID.
#include "com/BuiltinClasses.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>

#include "common/CaseCompare.h"

namespace wincompat {
namespace {

// Written while modules load, read on every activation: entries are added
// under the lock and published by the count, so that readers take no lock.
// The table has a fixed size, so that no entry ever moves.
struct ClassTable {
    static constexpr size_t kCapacity = 64;
    std::mutex lock;  // for writers
    std::atomic<size_t> count{0};
    BuiltinClass classes[kCapacity];
};

ClassTable& Table() {
    static ClassTable* table = new ClassTable;
    return *table;
}

// ProgIDs are registry key names, compared without regard to case.
bool SameProgId(const std::u16string& a, LPCOLESTR b) { return EqualsIgnoringAsciiCase(a, b); }

}  // namespace

void RegisterBuiltinClass(const CLSID& clsid, std::initializer_list<const char16_t*> progIds, InstanceCreator create) {
    ClassTable& table = Table();
    std::lock_guard<std::mutex> guard(table.lock);
    const size_t at = table.count.load(std::memory_order_relaxed);
    if (at == ClassTable::kCapacity) std::abort();  // a build with more classes needs a bigger table
    BuiltinClass& entry = table.classes[at];
    entry.clsid = clsid;
    for (const char16_t* progId : progIds) entry.progIds.emplace_back(progId);
    entry.create = create;
    table.count.store(at + 1, std::memory_order_release);
}

const BuiltinClass* FindBuiltinClass(REFCLSID clsid) {
    const ClassTable& table = Table();
    const size_t count = table.count.load(std::memory_order_acquire);
    for (size_t i = 0; i < count; ++i)
        if (IsEqualGUID(table.classes[i].clsid, clsid)) return &table.classes[i];
    return nullptr;
}

const BuiltinClass* FindBuiltinClassByProgId(LPCOLESTR progId) {
    if (!progId) return nullptr;
    const ClassTable& table = Table();
    const size_t count = table.count.load(std::memory_order_acquire);
    for (size_t i = 0; i < count; ++i)
        if (std::any_of(table.classes[i].progIds.begin(), table.classes[i].progIds.end(),
                        [&](const std::u16string& id) { return SameProgId(id, progId); }))
            return &table.classes[i];
    return nullptr;
}

}  // namespace wincompat
