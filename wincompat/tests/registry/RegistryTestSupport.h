// A private registry folder per test, so that tests never touch the user's.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/TempFolder.h"

using wincompat_test::ReadText;
using wincompat_test::TempRegistryFolder;
using wincompat_test::WriteText;

// Reads a REG_SZ value; empty optional-like result when missing.
inline LONG QueryString(HKEY root, const char16_t* subKey, const char16_t* valueName, std::u16string& out) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(root, subKey, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return status;
    DWORD type = 0, size = 0;
    status = RegQueryValueExW(key, valueName, nullptr, &type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        std::u16string buffer(size / 2, u'\0');
        status = RegQueryValueExW(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&buffer[0]), &size);
        if (status == ERROR_SUCCESS && type != REG_SZ) status = ERROR_INVALID_DATA;
        while (!buffer.empty() && buffer.back() == 0) buffer.pop_back();
        out = buffer;
    }
    RegCloseKey(key);
    return status;
}

inline LONG SetString(HKEY root, const char16_t* subKey, const char16_t* valueName, const std::u16string& text) {
    HKEY key = nullptr;
    LONG status = RegCreateKeyExW(root, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    RegCloseKey(key);
    return status;
}

inline bool KeyExists(HKEY root, const char16_t* subKey) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}
