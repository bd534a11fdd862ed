// wincompat extension (no Windows counterpart): how a shared library's
// resources reach FindResourceW. The build generates, from the module's .rc
// file, a source with one table and one ModuleResourcesRegistration object;
// it registers the table when the library is loaded and withdraws it when the
// library is unloaded. Code never calls this directly.
#pragma once
#include <stddef.h>
#include <windows.h>

namespace wincompat {

struct ResourceEntry {
    WORD typeId;               // used when typeName is null (RT_STRING = 6, RT_VERSION = 16, ...)
    const char16_t* typeName;  // "REGISTRY", "TYPELIB", ...; upper case
    WORD nameId;               // used when nameName is null
    const char16_t* nameName;  // upper case
    WORD language;
    const unsigned char* data;
    DWORD size;
};

class ModuleResourcesRegistration {
public:
    // `anchor` is any address inside the module (a function or object of the generated source).
    ModuleResourcesRegistration(const void* anchor, const ResourceEntry* entries, size_t count);
    ~ModuleResourcesRegistration();
    ModuleResourcesRegistration(const ModuleResourcesRegistration&) = delete;
    ModuleResourcesRegistration& operator=(const ModuleResourcesRegistration&) = delete;

private:
    HMODULE module_;
};

}  // namespace wincompat
