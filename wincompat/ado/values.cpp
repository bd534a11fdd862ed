#include "ado/values.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace wincompat::ado {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp + (mp < 10 ? 3 : -9);
    y += (m <= 2);
}

const int64_t kOleEpochDays = DaysFromCivil(1899, 12, 30);
constexpr int64_t kMsPerDay = 86400000;

bool ParseDigits(std::string_view text, size_t& pos, size_t count, int& value) {
    if (pos + count > text.size()) return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = text[pos + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (m == 2 && IsLeap(y)) ? 29 : days[m - 1];
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The VARIANT types NumericValue reads as an integer whatever their value.
bool IsPlainInteger(VARTYPE vt) {
    switch (vt) {
        case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
        case VT_INT: case VT_UINT: case VT_I8:
            return true;
        default:
            return false;
    }
}

// The numeric content of a VARIANT: integer types, booleans (true is 1, as
// the database stores it), reals, decimals and currency.
bool NumericValue(const VARIANT& v, int64_t& integer, double& real, bool& isInteger) {
    isInteger = true;
    switch (v.vt) {
        case VT_I1: integer = v.cVal; return true;
        case VT_UI1: integer = v.bVal; return true;
        case VT_I2: integer = v.iVal; return true;
        case VT_UI2: integer = v.uiVal; return true;
        case VT_I4: integer = v.lVal; return true;
        case VT_UI4: integer = v.ulVal; return true;
        case VT_INT: integer = v.intVal; return true;
        case VT_UINT: integer = v.uintVal; return true;
        case VT_I8: integer = v.llVal; return true;
        case VT_UI8:
            if (v.ullVal > static_cast<ULONGLONG>(std::numeric_limits<int64_t>::max())) {
                isInteger = false;
                real = static_cast<double>(v.ullVal);
                return true;
            }
            integer = static_cast<int64_t>(v.ullVal);
            return true;
        case VT_BOOL: integer = v.boolVal ? 1 : 0; return true;
        case VT_R4: isInteger = false; real = v.fltVal; return true;
        case VT_R8: isInteger = false; real = v.dblVal; return true;
        case VT_CY:
            if (v.cyVal.int64 % 10000 == 0) {
                integer = v.cyVal.int64 / 10000;
                return true;
            }
            isInteger = false;
            real = static_cast<double>(v.cyVal.int64) / 10000.0;
            return true;
        case VT_DECIMAL: {
            const DECIMAL& d = v.decVal;
            if (d.Hi32 == 0 && d.scale == 0 && d.Lo64 <= static_cast<ULONGLONG>(std::numeric_limits<int64_t>::max())) {
                integer = static_cast<int64_t>(d.Lo64);
                if (d.sign & DECIMAL_NEG) integer = -integer;
                return true;
            }
            isInteger = false;
            real = (static_cast<double>(d.Hi32) * 18446744073709551616.0 + static_cast<double>(d.Lo64)) /
                   std::pow(10.0, d.scale);
            if (d.sign & DECIMAL_NEG) real = -real;
            return true;
        }
        default:
            return false;
    }
}

bool ParseInteger(std::string_view text, int64_t& value) {
    text = Trim(text);
    if (text.empty()) return false;
    std::string copy(text);
    char* end = nullptr;
    errno = 0;
    long long parsed = std::strtoll(copy.c_str(), &end, 10);
    if (errno != 0 || *end != 0) return false;
    value = parsed;
    return true;
}

bool ParseReal(std::string_view text, double& value) {
    text = Trim(text);
    if (text.empty()) return false;
    std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return *end == 0 && std::isfinite(value);
}

std::string FormatReal(double value) {
    char buffer[40];
    snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

std::u16string ConversionText(const std::string& text, const char* target) {
    return Utf8ToUtf16("Conversion failed when converting the nvarchar value '" + text + "' to data type " + target +
                       ".");
}

bool ArrayBytes(const VARIANT& v, std::vector<uint8_t>& bytes) {
    if (v.vt != (VT_ARRAY | VT_UI1)) return false;
    bytes.clear();
    SAFEARRAY* array = v.parray;
    if (!array) return true;
    if (SafeArrayGetDim(array) != 1) return false;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    if (upper < lower) return true;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return false;
    const uint8_t* first = static_cast<const uint8_t*>(data);
    bytes.assign(first, first + (static_cast<size_t>(upper) - static_cast<size_t>(lower) + 1));
    SafeArrayUnaccessData(array);
    return true;
}

enum class Category { Text, Integer, Boolean, Real, Date, Guid, Binary, Any };

Category CategoryOf(DataTypeEnum type) {
    switch (type) {
        case adBSTR: case adChar: case adVarChar: case adLongVarChar:
        case adWChar: case adVarWChar: case adLongVarWChar:
            return Category::Text;
        case adTinyInt: case adSmallInt: case adInteger: case adBigInt:
        case adUnsignedTinyInt: case adUnsignedSmallInt: case adUnsignedInt: case adUnsignedBigInt:
            return Category::Integer;
        case adBoolean:
            return Category::Boolean;
        case adSingle: case adDouble: case adCurrency: case adDecimal: case adNumeric: case adVarNumeric:
            return Category::Real;
        case adDate: case adDBDate: case adDBTime: case adDBTimeStamp: case adFileTime:
            return Category::Date;
        case adGUID:
            return Category::Guid;
        case adBinary: case adVarBinary: case adLongVarBinary:
            return Category::Binary;
        default:
            return Category::Any;
    }
}

bool IntegerFits(DataTypeEnum type, int64_t value) {
    switch (type) {
        case adTinyInt: return value >= -128 && value <= 127;
        case adUnsignedTinyInt: return value >= 0 && value <= 255;
        case adSmallInt: return value >= -32768 && value <= 32767;
        case adUnsignedSmallInt: return value >= 0 && value <= 65535;
        case adInteger: return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
        case adUnsignedInt: return value >= 0 && value <= 0xFFFFFFFFLL;
        default: return true;
    }
}

const char* SqlTypeName(DataTypeEnum type) {
    switch (type) {
        case adTinyInt: case adUnsignedTinyInt: return "tinyint";
        case adSmallInt: case adUnsignedSmallInt: return "smallint";
        case adBigInt: case adUnsignedBigInt: return "bigint";
        default: return "int";
    }
}

DbValue DateValue(DATE date, bool& ok) {
    std::string text;
    ok = DateToText(date, text);
    return DbValue::Text(std::move(text));
}

HRESULT MakeSafeArray(std::string_view bytes, VARIANT* out) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) return E_OUTOFMEMORY;
    if (!bytes.empty()) {
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data))) {
            SafeArrayDestroy(array);
            return E_OUTOFMEMORY;
        }
        memcpy(data, bytes.data(), bytes.size());
        SafeArrayUnaccessData(array);
    }
    out->vt = VT_ARRAY | VT_UI1;
    out->parray = array;
    return S_OK;
}

HRESULT MakeText(std::string_view text, VARIANT* out) {
    BSTR b = AllocBstrUtf8(text);
    if (!b) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = b;
    return S_OK;
}

void MakeDecimal(int64_t value, VARIANT* out) {
    VariantInit(out);
    DECIMAL& d = out->decVal;
    d.wReserved = 0;
    d.scale = 0;
    d.sign = value < 0 ? DECIMAL_NEG : 0;
    d.Hi32 = 0;
    d.Lo64 = value < 0 ? 0 - static_cast<ULONGLONG>(value) : static_cast<ULONGLONG>(value);
    out->vt = VT_DECIMAL;  // set after decVal: vt overlaps wReserved
}

// The value's own storage class decides the VARIANT type.
HRESULT NaturalVariant(const DbValueView& value, VARIANT* out) {
    switch (value.kind) {
        case DbValue::Kind::Null:
            out->vt = VT_NULL;
            return S_OK;
        case DbValue::Kind::Integer:
            if (IntegerFits(adInteger, value.integer)) {
                out->vt = VT_I4;
                out->lVal = static_cast<LONG>(value.integer);
            } else {
                out->vt = VT_I8;
                out->llVal = value.integer;
            }
            return S_OK;
        case DbValue::Kind::Real:
            out->vt = VT_R8;
            out->dblVal = value.real;
            return S_OK;
        case DbValue::Kind::Text:
            return MakeText(value.bytes, out);
        case DbValue::Kind::Blob:
            return MakeSafeArray(value.bytes, out);
    }
    return E_UNEXPECTED;
}

bool DbInteger(const DbValueView& value, int64_t& integer) {
    if (value.kind == DbValue::Kind::Integer) {
        integer = value.integer;
        return true;
    }
    if (value.kind == DbValue::Kind::Real && std::nearbyint(value.real) == value.real &&
        std::fabs(value.real) < 9.2e18) {
        integer = static_cast<int64_t>(value.real);
        return true;
    }
    if (value.kind == DbValue::Kind::Text) return ParseInteger(value.bytes, integer);
    return false;
}

bool IsAscii(std::string_view text) {
    unsigned char any = 0;
    for (char c : text) any |= static_cast<unsigned char>(c);
    return any < 0x80;
}

}  // namespace

BSTR AllocBstr(std::u16string_view text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

BSTR AllocBstrUtf8(std::string_view text) {
    // Measured, then converted straight into the string: no copy in between.
    // Text beyond what the conversion takes reads as empty, as Utf8ToUtf16 has it.
    if (text.size() > static_cast<size_t>(INT32_MAX)) return SysAllocStringLen(nullptr, 0);
    const int length = static_cast<int>(text.size());
    // Most values the database holds are ASCII: one unit per byte, widened
    // in one pass without measuring.
    if (IsAscii(text)) {
        BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(length));
        if (b)
            for (int i = 0; i < length; ++i) b[i] = static_cast<unsigned char>(text[static_cast<size_t>(i)]);
        return b;
    }
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(units));
    if (b && units) MultiByteToWideChar(CP_UTF8, 0, text.data(), length, b, units);
    return b;
}

bool DateToText(DATE date, std::string& text) {
    if (!std::isfinite(date) || date < -657434.0 || date >= 2958466.0) return false;  // years 100 to 9999
    double whole = std::trunc(date);
    int64_t days = static_cast<int64_t>(whole);
    int64_t ms = std::llround(std::fabs(date - whole) * kMsPerDay);
    if (ms >= kMsPerDay) {  // rounding reached midnight: the next day
        ms = 0;
        days += 1;
    }
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days + kOleEpochDays, year, month, day);
    // "YYYY-MM-DD HH:MM:SS.mmm", written digit by digit: this runs for every
    // date a command binds.
    char buffer[23];
    auto put = [&buffer](size_t at, int64_t value, int digits) {
        for (int d = digits - 1; d >= 0; --d, value /= 10) buffer[at + static_cast<size_t>(d)] = char('0' + value % 10);
    };
    put(0, year, 4);
    buffer[4] = '-';
    put(5, month, 2);
    buffer[7] = '-';
    put(8, day, 2);
    buffer[10] = ' ';
    put(11, ms / 3600000, 2);
    buffer[13] = ':';
    put(14, ms / 60000 % 60, 2);
    buffer[16] = ':';
    put(17, ms / 1000 % 60, 2);
    buffer[19] = '.';
    put(20, ms % 1000, 3);
    text.assign(buffer, sizeof buffer);
    return true;
}

bool TextToDate(std::string_view text, DATE& date) {
    text = Trim(text);
    size_t pos = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    double fraction = 0;
    if (!ParseDigits(text, pos, 4, year) || pos >= text.size() || text[pos++] != '-' ||
        !ParseDigits(text, pos, 2, month) || pos >= text.size() || text[pos++] != '-' ||
        !ParseDigits(text, pos, 2, day))
        return false;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == ' ')) {
        ++pos;
        if (!ParseDigits(text, pos, 2, hour) || pos >= text.size() || text[pos++] != ':' ||
            !ParseDigits(text, pos, 2, minute))
            return false;
        if (pos < text.size() && text[pos] == ':') {
            ++pos;
            if (!ParseDigits(text, pos, 2, second)) return false;
            if (pos < text.size() && text[pos] == '.') {
                ++pos;
                double scale = 0.1;
                size_t digits = 0;
                while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
                    fraction += (text[pos++] - '0') * scale;
                    scale /= 10;
                    ++digits;
                }
                if (digits == 0) return false;
            }
        }
    }
    if (pos < text.size() && text[pos] == 'Z') ++pos;
    if (pos != text.size()) return false;
    if (year < 100 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    int64_t days = DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kOleEpochDays;
    double ms = std::round((hour * 3600.0 + minute * 60.0 + second + fraction) * 1000.0);
    double timeOfDay = ms / static_cast<double>(kMsPerDay);
    // Before 1899-12-30 the time of day still counts forward from midnight.
    date = days >= 0 ? static_cast<double>(days) + timeOfDay : static_cast<double>(days) - timeOfDay;
    return true;
}

bool CanonicalGuidText(std::string_view text, std::string& canonical) {
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}') return false;
        text = text.substr(1, 36);
    }
    if (text.size() != 36) return false;
    std::string out = "{";
    for (size_t i = 0; i < 36; ++i) {
        char c = text[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (HexDigit(c) < 0) {
            return false;
        }
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    canonical = out + "}";
    return true;
}

HRESULT ToDbValue(const VARIANT& value, DataTypeEnum type, DbValue& out, std::u16string& error) {
    if (value.vt & VT_BYREF) {
        VariantHolder direct;
        HRESULT hr = direct.CopyFrom(value);
        if (FAILED(hr)) return hr;
        return ToDbValue(direct.ref(), type, out, error);
    }
    if (value.vt == VT_EMPTY || value.vt == VT_NULL ||
        (value.vt == VT_ERROR && value.scode == static_cast<SCODE>(DISP_E_PARAMNOTFOUND))) {
        out = DbValue::Null();
        return S_OK;
    }
    // An integer for an integer parameter, the commonest value, is stored
    // without the text and byte buffers the other conversions need.
    if (CategoryOf(type) == Category::Integer && IsPlainInteger(value.vt)) {
        int64_t integer = 0;
        double unused = 0;
        bool isInteger = true;
        NumericValue(value, integer, unused, isInteger);
        if (IntegerFits(type, integer)) {
            out.kind = DbValue::Kind::Integer;
            out.integer = integer;
            out.real = 0;
            out.text.clear();
            out.blob.clear();
            return S_OK;
        }
    }
    std::string text = value.vt == VT_BSTR ? BstrUtf8(value.bstrVal) : std::string();
    int64_t integer = 0;
    double real = 0;
    bool isInteger = false;
    const bool numeric = NumericValue(value, integer, real, isInteger);
    std::vector<uint8_t> bytes;

    switch (CategoryOf(type)) {
        case Category::Guid: {
            std::string canonical;
            if (value.vt != VT_BSTR || !CanonicalGuidText(Trim(text), canonical)) {
                error = u"Conversion failed when converting from a character string to uniqueidentifier.";
                return DB_E_CANTCONVERTVALUE;
            }
            out = DbValue::Text(canonical);
            return S_OK;
        }
        case Category::Date: {
            DATE date = 0;
            bool ok = false;
            if (value.vt == VT_DATE) {
                out = DateValue(value.date, ok);
            } else if (value.vt == VT_BSTR && TextToDate(text, date)) {
                out = DateValue(date, ok);
            } else if (numeric && value.vt != VT_BOOL) {
                out = DateValue(isInteger ? static_cast<double>(integer) : real, ok);
            }
            if (!ok) {
                error = u"Conversion failed when converting date and/or time from character string.";
                return DB_E_CANTCONVERTVALUE;
            }
            return S_OK;
        }
        case Category::Boolean:
            if (numeric) {
                out = DbValue::Integer((isInteger ? integer != 0 : real != 0) ? 1 : 0);
                return S_OK;
            }
            if (value.vt == VT_BSTR) {
                std::string_view t = Trim(text);
                if (EqualsNoCase(t, "true") || EqualsNoCase(t, "false")) {
                    out = DbValue::Integer(EqualsNoCase(t, "true") ? 1 : 0);
                    return S_OK;
                }
                if (ParseInteger(t, integer)) {
                    out = DbValue::Integer(integer != 0 ? 1 : 0);
                    return S_OK;
                }
                error = ConversionText(text, "bit");
                return DB_E_CANTCONVERTVALUE;
            }
            break;
        case Category::Integer:
            if (numeric || value.vt == VT_BSTR) {
                if (value.vt == VT_BSTR && !ParseInteger(text, integer)) {
                    error = ConversionText(text, SqlTypeName(type));
                    return DB_E_CANTCONVERTVALUE;
                }
                if (numeric && !isInteger) {
                    if (!std::isfinite(real) || std::fabs(real) >= 9.2e18) {
                        error = u"Arithmetic overflow error converting expression to data type int.";
                        return DB_E_DATAOVERFLOW;
                    }
                    integer = static_cast<int64_t>(real);  // truncates, as the server's conversion does
                }
                if (!IntegerFits(type, integer)) {
                    error = Utf8ToUtf16(std::string("Arithmetic overflow error converting expression to data type ") +
                                        SqlTypeName(type) + ".");
                    return DB_E_DATAOVERFLOW;
                }
                out = DbValue::Integer(integer);
                return S_OK;
            }
            break;
        case Category::Real:
            if (numeric) {
                out = isInteger ? DbValue::Integer(integer) : DbValue::Real(real);
                return S_OK;
            }
            if (value.vt == VT_BSTR) {
                if (!ParseReal(text, real)) {
                    error = ConversionText(text, "float");
                    return DB_E_CANTCONVERTVALUE;
                }
                out = DbValue::Real(real);
                return S_OK;
            }
            break;
        case Category::Binary:
            if (ArrayBytes(value, bytes)) {
                out = DbValue::Blob(std::move(bytes));
                return S_OK;
            }
            if (value.vt == VT_BSTR) {
                error = u"Implicit conversion from data type nvarchar to varbinary is not allowed. Use the CONVERT "
                        u"function to run this query.";
                return DB_E_CANTCONVERTVALUE;
            }
            break;
        case Category::Text:
            if (value.vt == VT_BSTR) {
                out = DbValue::Text(std::move(text));
                return S_OK;
            }
            if (value.vt == VT_DATE) {
                bool ok = false;
                out = DateValue(value.date, ok);
                if (ok) return S_OK;
            } else if (numeric) {
                out = DbValue::Text(isInteger ? std::to_string(integer) : FormatReal(real));
                return S_OK;
            }
            break;
        case Category::Any:
            if (value.vt == VT_BSTR) {
                out = DbValue::Text(std::move(text));
                return S_OK;
            }
            if (value.vt == VT_DATE) {
                bool ok = false;
                out = DateValue(value.date, ok);
                if (ok) return S_OK;
            } else if (numeric) {
                out = isInteger ? DbValue::Integer(integer) : DbValue::Real(real);
                return S_OK;
            } else if (ArrayBytes(value, bytes)) {
                out = DbValue::Blob(std::move(bytes));
                return S_OK;
            }
            break;
    }
    error = Utf8ToUtf16("Application uses a value of the wrong type for the current operation (a " +
                        VariantTypeName(value.vt) + " value for a parameter of type " + DataTypeName(type) + ").");
    return DISP_E_TYPEMISMATCH;
}

DataTypeEnum ColumnTypeFromDeclared(std::string_view declared) {
    std::string name;
    for (char c : declared) {
        if (c == '(') break;
        name += Lower(c);
    }
    std::string_view n = Trim(name);
    struct Entry {
        const char* name;
        DataTypeEnum type;
    };
    static const Entry kTypes[] = {
        {"int", adInteger},           {"integer", adInteger},         {"smallint", adSmallInt},
        {"tinyint", adUnsignedTinyInt}, {"bigint", adBigInt},         {"bit", adBoolean},
        {"boolean", adBoolean},       {"datetime", adDBTimeStamp},    {"datetime2", adDBTimeStamp},
        {"smalldatetime", adDBTimeStamp}, {"date", adDBTimeStamp},    {"datetimeoffset", adDBTimeStamp},
        {"uniqueidentifier", adGUID}, {"binary", adBinary},           {"varbinary", adVarBinary},
        {"image", adLongVarBinary},   {"blob", adLongVarBinary},      {"nvarchar", adVarWChar},
        {"nchar", adWChar},           {"varchar", adVarChar},         {"char", adChar},
        {"text", adLongVarChar},      {"ntext", adLongVarWChar},      {"float", adDouble},
        {"double", adDouble},         {"double precision", adDouble}, {"real", adSingle},
        {"decimal", adNumeric},       {"numeric", adNumeric},         {"money", adCurrency},
        {"smallmoney", adCurrency},
    };
    for (const Entry& entry : kTypes)
        if (n == entry.name) return entry.type;
    return adEmpty;
}

HRESULT ToVariant(const DbValue& value, DataTypeEnum type, VARIANT* out) {
    return ToVariant(DbValueView::Of(value), type, out);
}

HRESULT ToVariant(const DbValueView& value, DataTypeEnum type, VARIANT* out) {
    VariantInit(out);
    if (value.IsNull()) {
        out->vt = VT_NULL;
        return S_OK;
    }
    int64_t integer = 0;
    switch (CategoryOf(type)) {
        case Category::Integer:
            if (!DbInteger(value, integer)) break;
            switch (type) {
                case adSmallInt:
                    if (!IntegerFits(adSmallInt, integer)) break;
                    out->vt = VT_I2;
                    out->iVal = static_cast<SHORT>(integer);
                    return S_OK;
                case adUnsignedTinyInt:
                case adTinyInt:
                    if (!IntegerFits(adUnsignedTinyInt, integer)) break;
                    out->vt = VT_UI1;
                    out->bVal = static_cast<BYTE>(integer);
                    return S_OK;
                case adBigInt:
                case adUnsignedBigInt:
                    out->vt = VT_I8;
                    out->llVal = integer;
                    return S_OK;
                default:
                    if (!IntegerFits(adInteger, integer)) break;
                    out->vt = VT_I4;
                    out->lVal = static_cast<LONG>(integer);
                    return S_OK;
            }
            out->vt = VT_I8;  // a stored value wider than its column type
            out->llVal = integer;
            return S_OK;
        case Category::Boolean:
            if (DbInteger(value, integer)) {
                out->vt = VT_BOOL;
                out->boolVal = integer ? VARIANT_TRUE : VARIANT_FALSE;
                return S_OK;
            }
            if (value.kind == DbValue::Kind::Text &&
                (EqualsNoCase(value.bytes, "true") || EqualsNoCase(value.bytes, "false"))) {
                out->vt = VT_BOOL;
                out->boolVal = EqualsNoCase(value.bytes, "true") ? VARIANT_TRUE : VARIANT_FALSE;
                return S_OK;
            }
            break;
        case Category::Date: {
            DATE date = 0;
            if (value.kind == DbValue::Kind::Text && TextToDate(value.bytes, date)) {
                out->vt = VT_DATE;
                out->date = date;
                return S_OK;
            }
            if (value.kind == DbValue::Kind::Real || value.kind == DbValue::Kind::Integer) {
                out->vt = VT_DATE;
                out->date = value.kind == DbValue::Kind::Real ? value.real : static_cast<double>(value.integer);
                return S_OK;
            }
            break;
        }
        case Category::Guid:
            if (value.kind == DbValue::Kind::Text) {
                std::string canonical;
                return MakeText(CanonicalGuidText(Trim(value.bytes), canonical) ? canonical : value.bytes, out);
            }
            break;
        case Category::Text:
            if (value.kind == DbValue::Kind::Text) return MakeText(value.bytes, out);
            if (value.kind == DbValue::Kind::Integer) return MakeText(std::to_string(value.integer), out);
            if (value.kind == DbValue::Kind::Real) return MakeText(FormatReal(value.real), out);
            break;
        case Category::Binary:
            if (value.kind == DbValue::Kind::Blob) return MakeSafeArray(value.bytes, out);
            if (value.kind == DbValue::Kind::Text)
                return MakeSafeArray(value.bytes, out);
            break;
        case Category::Real:
            if (type == adNumeric || type == adDecimal || type == adVarNumeric) {
                if (DbInteger(value, integer)) {
                    MakeDecimal(integer, out);
                    return S_OK;
                }
            } else if (type == adCurrency && value.kind != DbValue::Kind::Text && value.kind != DbValue::Kind::Blob) {
                double amount = value.kind == DbValue::Kind::Real ? value.real : static_cast<double>(value.integer);
                out->vt = VT_CY;
                out->cyVal.int64 = std::llround(amount * 10000.0);
                return S_OK;
            }
            if (value.kind == DbValue::Kind::Real || value.kind == DbValue::Kind::Integer) {
                double r = value.kind == DbValue::Kind::Real ? value.real : static_cast<double>(value.integer);
                if (type == adSingle) {
                    out->vt = VT_R4;
                    out->fltVal = static_cast<float>(r);
                } else {
                    out->vt = VT_R8;
                    out->dblVal = r;
                }
                return S_OK;
            }
            break;
        case Category::Any:
            break;
    }
    // No declared type, or a stored value that does not fit it (SQLite
    // columns take any value): the storage class decides.
    return NaturalVariant(value, out);
}

std::string VariantTypeName(VARTYPE vt) {
    static const char* const kNames[] = {
        "VT_EMPTY", "VT_NULL",  "VT_I2",      "VT_I4",  "VT_R4",      "VT_R8",  "VT_CY",      "VT_DATE",
        "VT_BSTR",  "VT_DISPATCH", "VT_ERROR", "VT_BOOL", "VT_VARIANT", "VT_UNKNOWN", "VT_DECIMAL", "VT_15",
        "VT_I1",    "VT_UI1",   "VT_UI2",     "VT_UI4", "VT_I8",      "VT_UI8", "VT_INT",     "VT_UINT",
    };
    std::string name;
    VARTYPE base = vt & VT_TYPEMASK;
    name = base < sizeof(kNames) / sizeof(kNames[0]) ? kNames[base] : "VT_" + std::to_string(base);
    if (vt & VT_ARRAY) name = "VT_ARRAY|" + name;
    if (vt & VT_BYREF) name = "VT_BYREF|" + name;
    return name;
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

}  // namespace wincompat::ado
