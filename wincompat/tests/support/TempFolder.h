// Test helpers shared by the test and benchmark programs: a fresh folder per
// test, a private registry in one, and whole-file reads and writes. Header
// only: this folder holds no test program.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace wincompat_test {

// A fresh folder under the temporary directory, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "wincompat-test") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (const char* made = mkdtemp(buffer.data())) path_ = made;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A private registry folder for the test's lifetime, so that tests never touch
// the user's: WINCOMPAT_REGISTRY_DIR points at it until the end.
class TempRegistryFolder {
public:
    explicit TempRegistryFolder(const std::string& prefix = "wincompat-registry") : folder_(prefix) {
        setenv("WINCOMPAT_REGISTRY_DIR", folder_.path().c_str(), 1);
    }
    ~TempRegistryFolder() { unsetenv("WINCOMPAT_REGISTRY_DIR"); }

    const std::string& path() const { return folder_.path(); }
    std::string HiveFile(const char* root) const { return folder_.File(std::string(root) + ".reg"); }

private:
    TempFolder folder_;
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

}  // namespace wincompat_test
