// What the recording ADO double writes for each command it is asked to run,
// in the format of the Linux ADO statement log (JSON Lines, described in
// wincompat/ado/StatementLog.cpp), so that the two logs compare line by line.
#pragma once
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "AdoHeaders.h"

namespace windows_test {

struct RecordedParameter {
    std::wstring name;
    DataTypeEnum type = adEmpty;
    ParameterDirectionEnum direction = adParamInput;
    VARTYPE givenType = VT_EMPTY;  // the VARIANT type of the value the program gave
    LONG size = 0;
    const VARIANT* value = nullptr;  // as the variant holds it; output parameters: what they received
};

struct RecordedCommand {
    CommandTypeEnum type = adCmdUnknown;
    std::wstring text;
    std::vector<RecordedParameter> parameters;
    LONG recordsAffected = -1;
    HRESULT result = S_OK;
};

// One JSON line, new line included.
std::string FormatRecord(const RecordedCommand& command);

// The ADO names the Linux log uses.
const char* DataTypeName(DataTypeEnum type);
const char* DirectionName(ParameterDirectionEnum direction);
std::string VariantTypeName(VARTYPE type);
// "YYYY-MM-DD HH:MM:SS.mmm"; false for a date outside the years 100 to 9999.
bool FormatDate(DATE date, std::string& text);

// Appends records to a file, or to nothing when no path was given.
class StatementLogFile {
public:
    explicit StatementLogFile(const std::wstring& path);
    ~StatementLogFile();
    StatementLogFile(const StatementLogFile&) = delete;
    StatementLogFile& operator=(const StatementLogFile&) = delete;
    bool IsOpen() const { return file_ != nullptr; }
    void Write(const RecordedCommand& command);

private:
    std::FILE* file_ = nullptr;
};

std::string Utf8(const wchar_t* text, size_t length);
inline std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

}  // namespace windows_test
