// Writes each command the recording ADO double ran as one JSON line in the Linux statement log's
// format: ADO type and direction names, values in the log's notation, dates as text.
#include "StatementLogWriter.h"

#include <cmath>

namespace windows_test {
namespace {

void AppendJsonString(std::string& out, const std::string& text) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\u%04X", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

std::string HexOfBytes(const SAFEARRAY* array) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string hex = "X'";
    if (array && array->cDims == 1) {
        const BYTE* bytes = static_cast<const BYTE*>(array->pvData);
        for (ULONG i = 0; i < array->rgsabound[0].cElements; ++i) {
            hex += kHex[bytes[i] >> 4];
            hex += kHex[bytes[i] & 15];
        }
    }
    return hex + "'";
}

void AppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    out += buffer;
}

// The value as the variant holds it, in the log's notation.
void AppendValue(std::string& out, const VARIANT* value) {
    if (!value) {
        out += "null";
        return;
    }
    switch (value->vt) {
        case VT_EMPTY:
        case VT_NULL: out += "null"; break;
        case VT_I1: out += std::to_string(value->cVal); break;
        case VT_UI1: out += std::to_string(value->bVal); break;
        case VT_I2: out += std::to_string(value->iVal); break;
        case VT_UI2: out += std::to_string(value->uiVal); break;
        case VT_I4: out += std::to_string(value->lVal); break;
        case VT_UI4: out += std::to_string(value->ulVal); break;
        case VT_INT: out += std::to_string(value->intVal); break;
        case VT_UINT: out += std::to_string(value->uintVal); break;
        case VT_I8: out += std::to_string(value->llVal); break;
        case VT_BOOL: out += value->boolVal ? "1" : "0"; break;
        case VT_R4: AppendNumber(out, value->fltVal); break;
        case VT_R8: AppendNumber(out, value->dblVal); break;
        case VT_DATE: {
            std::string text;
            if (FormatDate(value->date, text))
                AppendJsonString(out, text);
            else
                out += "null";
            break;
        }
        case VT_BSTR: AppendJsonString(out, Utf8(value->bstrVal, SysStringLen(value->bstrVal))); break;
        case VT_ARRAY | VT_UI1: AppendJsonString(out, HexOfBytes(value->parray)); break;
        default: {
            // Decimals and the rest: their text as OLE Automation converts it.
            VARIANT text;
            VariantInit(&text);
            if (SUCCEEDED(VariantChangeTypeEx(&text, const_cast<VARIANT*>(value), MAKELCID(LANG_ENGLISH, SORT_DEFAULT),
                                              0, VT_BSTR)))
                out += Utf8(text.bstrVal, SysStringLen(text.bstrVal));
            else
                out += "null";
            VariantClear(&text);
        }
    }
}

const char* CommandTypeName(CommandTypeEnum type) {
    switch (type) {
        case adCmdText: return "text";
        case adCmdStoredProc: return "storedproc";
        case adCmdTable: return "table";
        default: return "unknown";
    }
}

}  // namespace

std::string Utf8(const wchar_t* text, size_t length) {
    if (!text || length == 0) return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], size, nullptr, nullptr);
    return out;
}

bool FormatDate(DATE date, std::string& text) {
    if (!std::isfinite(date) || date < -657434.0 || date >= 2958466.0) return false;
    constexpr long long kMsPerDay = 86400000;
    double whole = std::trunc(date);
    long long days = static_cast<long long>(whole);
    long long ms = std::llround(std::fabs(date - whole) * kMsPerDay);
    if (ms >= kMsPerDay) {
        ms = 0;
        days += 1;
    }
    SYSTEMTIME day = {};
    if (!VariantTimeToSystemTime(static_cast<double>(days), &day)) return false;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04u-%02u-%02u %02lld:%02lld:%02lld.%03lld", day.wYear, day.wMonth, day.wDay,
                  ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000);
    text = buffer;
    return true;
}

const char* DataTypeName(DataTypeEnum type) {
    switch (type) {
        case adEmpty: return "adEmpty";
        case adTinyInt: return "adTinyInt";
        case adSmallInt: return "adSmallInt";
        case adInteger: return "adInteger";
        case adBigInt: return "adBigInt";
        case adUnsignedTinyInt: return "adUnsignedTinyInt";
        case adUnsignedSmallInt: return "adUnsignedSmallInt";
        case adUnsignedInt: return "adUnsignedInt";
        case adUnsignedBigInt: return "adUnsignedBigInt";
        case adSingle: return "adSingle";
        case adDouble: return "adDouble";
        case adCurrency: return "adCurrency";
        case adDecimal: return "adDecimal";
        case adNumeric: return "adNumeric";
        case adBoolean: return "adBoolean";
        case adVariant: return "adVariant";
        case adGUID: return "adGUID";
        case adDate: return "adDate";
        case adDBDate: return "adDBDate";
        case adDBTime: return "adDBTime";
        case adDBTimeStamp: return "adDBTimeStamp";
        case adBSTR: return "adBSTR";
        case adChar: return "adChar";
        case adVarChar: return "adVarChar";
        case adLongVarChar: return "adLongVarChar";
        case adWChar: return "adWChar";
        case adVarWChar: return "adVarWChar";
        case adLongVarWChar: return "adLongVarWChar";
        case adBinary: return "adBinary";
        case adVarBinary: return "adVarBinary";
        case adLongVarBinary: return "adLongVarBinary";
        default: return "adOther";
    }
}

const char* DirectionName(ParameterDirectionEnum direction) {
    switch (direction) {
        case adParamInput: return "input";
        case adParamOutput: return "output";
        case adParamInputOutput: return "inputoutput";
        case adParamReturnValue: return "returnvalue";
        default: return "unknown";
    }
}

std::string VariantTypeName(VARTYPE type) {
    static const struct {
        VARTYPE type;
        const char* name;
    } kNames[] = {{VT_EMPTY, "VT_EMPTY"},     {VT_NULL, "VT_NULL"},
                  {VT_I2, "VT_I2"},           {VT_I4, "VT_I4"},
                  {VT_R4, "VT_R4"},           {VT_R8, "VT_R8"},
                  {VT_CY, "VT_CY"},           {VT_DATE, "VT_DATE"},
                  {VT_BSTR, "VT_BSTR"},       {VT_DISPATCH, "VT_DISPATCH"},
                  {VT_ERROR, "VT_ERROR"},     {VT_BOOL, "VT_BOOL"},
                  {VT_VARIANT, "VT_VARIANT"}, {VT_UNKNOWN, "VT_UNKNOWN"},
                  {VT_DECIMAL, "VT_DECIMAL"}, {VT_I1, "VT_I1"},
                  {VT_UI1, "VT_UI1"},         {VT_UI2, "VT_UI2"},
                  {VT_UI4, "VT_UI4"},         {VT_I8, "VT_I8"},
                  {VT_UI8, "VT_UI8"},         {VT_INT, "VT_INT"},
                  {VT_UINT, "VT_UINT"}};
    std::string prefix;
    if (type & VT_ARRAY) prefix += "VT_ARRAY|";
    if (type & VT_BYREF) prefix += "VT_BYREF|";
    const VARTYPE base = type & VT_TYPEMASK;
    for (const auto& entry : kNames)
        if (entry.type == base) return prefix + entry.name;
    return prefix + "VT_" + std::to_string(base);
}

std::string FormatRecord(const RecordedCommand& command) {
    std::string out = "{\"type\":";
    AppendJsonString(out, CommandTypeName(command.type));
    out += ",\"text\":";
    AppendJsonString(out, Utf8(command.text));
    out += ",\"parameters\":[";
    for (size_t i = 0; i < command.parameters.size(); ++i) {
        const RecordedParameter& p = command.parameters[i];
        if (i) out += ',';
        out += "{\"name\":";
        AppendJsonString(out, Utf8(p.name));
        out += ",\"type\":";
        AppendJsonString(out, DataTypeName(p.type));
        out += ",\"direction\":";
        AppendJsonString(out, DirectionName(p.direction));
        out += ",\"vt\":";
        AppendJsonString(out, VariantTypeName(p.givenType));
        out += ",\"size\":" + std::to_string(p.size);
        out += ",\"value\":";
        AppendValue(out, p.value);
        out += '}';
    }
    out += "],\"recordsAffected\":" + std::to_string(command.recordsAffected) + ",\"result\":";
    char result[16];
    std::snprintf(result, sizeof result, "0x%08lX", static_cast<unsigned long>(command.result));
    AppendJsonString(out, command.result == S_OK ? std::string("ok") : std::string(result));
    out += "}\n";
    return out;
}

StatementLogFile::StatementLogFile(const std::wstring& path) {
    if (!path.empty()) file_ = _wfopen(path.c_str(), L"ab");
}

StatementLogFile::~StatementLogFile() {
    if (file_) std::fclose(file_);
}

void StatementLogFile::Write(const RecordedCommand& command) {
    if (!file_) return;
    const std::string record = FormatRecord(command);
    std::fwrite(record.data(), 1, record.size(), file_);
    std::fflush(file_);
}

}  // namespace windows_test
