// Reading the statement log that an ADO connection writes when its
// connection string says "Statement Log=PATH": one record per command, in
// the order the commands ran. Tests use it to check the exact statements a
// program sent. (The file format is described in wincompat/ado/StatementLog.cpp.)
#pragma once
#include <string>
#include <vector>

namespace wincompat {

struct LoggedStatementParameter {
    std::string name;       // as given to CreateParameter ("" when none)
    std::string type;       // ADO data type name: "adInteger", "adBSTR", "adGUID", ...
    std::string direction;  // "input", "output", "inputoutput", "returnvalue"
    std::string vt;         // VARIANT type of the value given: "VT_INT", "VT_NULL", "VT_ARRAY|VT_UI1", ...
    long size = 0;          // the parameter's Size property
    bool isNull = true;     // the database received NULL
    bool isNumber = false;  // `value` is a number's text
    // What the database received: text, a number, a date as
    // "YYYY-MM-DD HH:MM:SS.mmm", a GUID as "{...}" upper case, bytes as
    // "X'0AFF'". Output parameters: what they received.
    std::string value;
};

struct LoggedStatement {
    std::string commandType;  // "text", "storedproc", "table", "unknown"
    std::string text;         // the command text exactly as the program gave it
    std::vector<LoggedStatementParameter> parameters;
    long long recordsAffected = -1;  // -1: none counted
    std::string result;              // "ok", or "0x80040E14 <description>"
};

// Every record of the log; an absent file has none. Throws
// std::runtime_error for a line that is not a record.
std::vector<LoggedStatement> ReadStatementLog(const std::string& path);

}  // namespace wincompat
