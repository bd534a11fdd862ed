// Whole-file reads and path handling for the files a resource script names.
#pragma once
#include <string>

namespace rcgen {

bool ReadFileBytes(const std::string& path, std::string& out);
bool FileExists(const std::string& path);
// The folder a path names its file in, or "." when it names none.
std::string DirectoryOf(const std::string& path);

}  // namespace rcgen
