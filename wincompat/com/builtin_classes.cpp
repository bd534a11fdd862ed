#include "com/builtin_classes.h"

#include <algorithm>
#include <deque>
#include <mutex>

namespace wincompat {
namespace {

struct ClassTable {
    std::mutex lock;
    std::deque<BuiltinClass> classes;  // deque: entries never move once added
};

ClassTable& Table() {
    static ClassTable* table = new ClassTable;
    return *table;
}

bool SameProgId(const std::u16string& a, LPCOLESTR b) {
    // ProgIDs are registry key names, compared without regard to case.
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == 0) return false;
        auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return b[i] == 0;
}

}  // namespace

void RegisterBuiltinClass(const CLSID& clsid, std::initializer_list<const char16_t*> progIds, InstanceCreator create) {
    BuiltinClass entry{clsid, {}, create};
    for (const char16_t* progId : progIds) entry.progIds.emplace_back(progId);
    std::lock_guard<std::mutex> guard(Table().lock);
    Table().classes.push_back(std::move(entry));
}

const BuiltinClass* FindBuiltinClass(REFCLSID clsid) {
    std::lock_guard<std::mutex> guard(Table().lock);
    for (const BuiltinClass& entry : Table().classes)
        if (IsEqualGUID(entry.clsid, clsid)) return &entry;
    return nullptr;
}

const BuiltinClass* FindBuiltinClassByProgId(LPCOLESTR progId) {
    if (!progId) return nullptr;
    std::lock_guard<std::mutex> guard(Table().lock);
    for (const BuiltinClass& entry : Table().classes)
        if (std::any_of(entry.progIds.begin(), entry.progIds.end(),
                        [&](const std::u16string& id) { return SameProgId(id, progId); }))
            return &entry;
    return nullptr;
}

}  // namespace wincompat
