// A private registry folder per test and small registry readers.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

class TempRegistryFolder {
public:
    TempRegistryFolder() {
        char pattern[] = "/tmp/comserver-registry-XXXXXX";
        if (const char* made = mkdtemp(pattern)) path_ = made;
        setenv("WINCOMPAT_REGISTRY_DIR", path_.c_str(), 1);
    }
    ~TempRegistryFolder() {
        unsetenv("WINCOMPAT_REGISTRY_DIR");
        if (!path_.empty()) (void)system(("rm -rf '" + path_ + "'").c_str());
    }
    const std::string& path() const { return path_; }
    std::string HiveFile(const char* root) const { return path_ + "/" + root + ".reg"; }

private:
    std::string path_;
};

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

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
