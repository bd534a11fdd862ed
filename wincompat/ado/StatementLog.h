// The statement log of a connection ("Statement Log=PATH" in the connection
// string): one JSON record per line per command run, appended to the file.
// The format is described in StatementLog.cpp.
#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ado/Provider.h"

namespace wincompat::ado {

struct LoggedParameter {
    std::string name;
    std::string type;       // ADO data type name: "adInteger", "adBSTR", ...
    std::string direction;  // "input", "output", "inputoutput", "returnvalue"
    std::string vt;         // the VARIANT type of the value given: "VT_INT", "VT_NULL", ...
    long size = 0;          // the parameter's Size property
    DbValue value;          // the value bound (after conversion); output parameters: what they received
};

struct LoggedCommand {
    std::string commandType;  // "text", "storedproc", "table", "unknown"
    std::string text;         // the command text exactly as received
    std::vector<LoggedParameter> parameters;
    int64_t recordsAffected = -1;  // -1: not counted (a query, or SET NOCOUNT ON)
    std::string result = "ok";     // or "0x80040E14 <description>"
};

class StatementLog {
public:
    // Opens (creates) the file for appending; throws DbError on failure.
    explicit StatementLog(const std::string& path);
    ~StatementLog();
    StatementLog(const StatementLog&) = delete;
    StatementLog& operator=(const StatementLog&) = delete;
    void Write(const LoggedCommand& command);
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
};

std::string FormatLogRecord(const LoggedCommand& command);

}  // namespace wincompat::ado
