// A private registry folder per test and small registry readers.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TempFolder.h"

using wincompat_test::ReadText;
using wincompat_test::TempRegistryFolder;
using wincompat_test::WriteText;

inline bool KeyExists(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// The REG_SZ value, or "<missing>" / "<not a string>".
inline std::u16string StringValue(HKEY root, const std::u16string& path, const char16_t* valueName = nullptr) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return u"<missing>";
    char16_t buffer[1024] = {};
    DWORD size = sizeof buffer - 2, type = 0;
    LONG status = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return u"<missing>";
    if (type != REG_SZ) return u"<not a string>";
    return buffer;
}

inline DWORD SubkeyCount(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD count = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    return count;
}

inline std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }
