// A registration script as parsed: root keys, their key trees and values, and
// the error that stops a script at a line before anything is written.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ScriptText.h"

namespace comserver {
namespace registration {

struct ValueSpec {
    OleString name;  // empty: the default value
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
};

struct KeySpec {
    OleString name;
    bool noRemove = false;
    bool forceRemove = false;
    bool deleteOnRegister = false;
    std::unique_ptr<ValueSpec> defaultValue;
    std::vector<ValueSpec> values;
    std::vector<KeySpec> children;
    int line = 0;
};

struct RootSpec {
    HKEY root = nullptr;
    bool classesRoot = false;
    OleString name;
    std::vector<KeySpec> keys;
};

class ScriptError {
public:
    ScriptError(int line, std::string message) : line_(line), message_(std::move(message)) {}
    std::string Text() const { return "registration script line " + std::to_string(line_) + ": " + message_; }

private:
    int line_;
    std::string message_;
};

}  // namespace registration
}  // namespace comserver
