// One registry hive in memory, and its text form: the format of registry
// exports ("Windows Registry Editor Version 5.00"), written as UTF-8, with a
// closing line that marks the file as complete.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace wincompat {
namespace registry {

struct Value {
    std::u16string name;  // empty: the default value
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

struct Key {
    std::u16string name;
    std::vector<Value> values;                               // in creation order
    std::map<std::u16string, std::unique_ptr<Key>> subkeys;  // by case-folded name

    Key* Find(const std::u16string& subkeyName) const;
    Key* FindPath(const std::vector<std::u16string>& path) const;
    Value* FindValue(const std::u16string& valueName);
    // Returns the child, creating it when missing; `created` tells which.
    Key& Child(const std::u16string& subkeyName, bool* created = nullptr);
    std::unique_ptr<Key> Clone() const;
};

struct ParseError {
    int line = 0;
    std::string message;
};

// rootName is the hive's name as it heads every section ("HKEY_LOCAL_MACHINE").
std::string Serialize(const Key& root, const std::string& rootName);
// False with `error` filled when the text is not a complete hive file of that root.
bool Parse(const std::string& text, const std::string& rootName, Key& root, ParseError& error);

}  // namespace registry
}  // namespace wincompat
