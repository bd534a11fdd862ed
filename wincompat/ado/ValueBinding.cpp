// Binding: a parameter's VARIANT as the database value sent for it, by the
// parameter's ADO data type, with the refusals SQL Server gives.
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "ado/ValueRules.h"
#include "common/Trim.h"
#include "ado/Values.h"
#include "common/CaseCompare.h"

namespace wincompat::ado {
namespace {

using namespace detail;

// The VARIANT types NumericValue reads as an integer whatever their value.
bool IsPlainInteger(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8: return true;
        default: return false;
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
        case VT_R4:
            isInteger = false;
            real = v.fltVal;
            return true;
        case VT_R8:
            isInteger = false;
            real = v.dblVal;
            return true;
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
        default: return false;
    }
}

// Blanks around the number allowed; false for anything else or a number that
// is not finite.
bool ParseReal(std::string_view text, double& value) {
    text = TrimSpace(text);
    if (text.empty()) return false;
    std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return *end == 0 && std::isfinite(value);
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

const char* SqlTypeName(DataTypeEnum type) {
    switch (type) {
        case adTinyInt:
        case adUnsignedTinyInt: return "tinyint";
        case adSmallInt:
        case adUnsignedSmallInt: return "smallint";
        case adBigInt:
        case adUnsignedBigInt: return "bigint";
        default: return "int";
    }
}

DbValue DateValue(DATE date, bool& ok) {
    std::string text;
    ok = DateToText(date, text);
    return DbValue::Text(std::move(text));
}

// What a VARIANT holds, read once for whichever conversion the parameter's
// type asks for.
struct VariantContent {
    explicit VariantContent(const VARIANT& v) : value(v), text(v.vt == VT_BSTR ? BstrUtf8(v.bstrVal) : std::string()) {
        numeric = NumericValue(v, integer, real, isInteger);
    }
    const VARIANT& value;
    std::string text;  // of a VT_BSTR, UTF-8; empty for the other types
    bool numeric = false;
    int64_t integer = 0;
    double real = 0;
    bool isInteger = false;  // with `numeric`: `integer` holds it, else `real`
};

HRESULT WrongType(VARTYPE vt, DataTypeEnum type, std::u16string& error) {
    error = Utf8ToUtf16("Application uses a value of the wrong type for the current operation (a " +
                        VariantTypeName(vt) + " value for a parameter of type " + DataTypeName(type) + ").");
    return DISP_E_TYPEMISMATCH;
}

// One conversion per kind of parameter type. A refusal may leave `out`
// changed; the statement log records what it holds.

HRESULT BindGuid(const VariantContent& v, DbValue& out, std::u16string& error) {
    std::string canonical;
    if (v.value.vt != VT_BSTR || !CanonicalGuidText(TrimSpace(v.text), canonical)) {
        error = u"Conversion failed when converting from a character string to uniqueidentifier.";
        return DB_E_CANTCONVERTVALUE;
    }
    out = DbValue::Text(canonical);
    return S_OK;
}

HRESULT BindDate(const VariantContent& v, DbValue& out, std::u16string& error) {
    DATE date = 0;
    bool ok = false;
    if (v.value.vt == VT_DATE) {
        out = DateValue(v.value.date, ok);
    } else if (v.value.vt == VT_BSTR && TextToDate(v.text, date)) {
        out = DateValue(date, ok);
    } else if (v.numeric && v.value.vt != VT_BOOL) {
        out = DateValue(v.isInteger ? static_cast<double>(v.integer) : v.real, ok);
    }
    if (!ok) {
        error = u"Conversion failed when converting date and/or time from character string.";
        return DB_E_CANTCONVERTVALUE;
    }
    return S_OK;
}

HRESULT BindBoolean(const VariantContent& v, DataTypeEnum type, DbValue& out, std::u16string& error) {
    if (v.numeric) {
        out = DbValue::Integer((v.isInteger ? v.integer != 0 : v.real != 0) ? 1 : 0);
        return S_OK;
    }
    if (v.value.vt != VT_BSTR) return WrongType(v.value.vt, type, error);
    const std::string_view t = TrimSpace(v.text);
    if (EqualsIgnoringAsciiCase(t, "true") || EqualsIgnoringAsciiCase(t, "false")) {
        out = DbValue::Integer(EqualsIgnoringAsciiCase(t, "true") ? 1 : 0);
        return S_OK;
    }
    int64_t integer = 0;
    if (ParseInteger(t, integer)) {
        out = DbValue::Integer(integer != 0 ? 1 : 0);
        return S_OK;
    }
    error = ConversionText(v.text, "bit");
    return DB_E_CANTCONVERTVALUE;
}

HRESULT BindInteger(const VariantContent& v, DataTypeEnum type, DbValue& out, std::u16string& error) {
    if (!v.numeric && v.value.vt != VT_BSTR) return WrongType(v.value.vt, type, error);
    int64_t integer = v.integer;
    if (v.value.vt == VT_BSTR && !ParseInteger(v.text, integer)) {
        error = ConversionText(v.text, SqlTypeName(type));
        return DB_E_CANTCONVERTVALUE;
    }
    if (v.numeric && !v.isInteger) {
        if (!std::isfinite(v.real) || std::fabs(v.real) >= 9.2e18) {
            error = u"Arithmetic overflow error converting expression to data type int.";
            return DB_E_DATAOVERFLOW;
        }
        integer = static_cast<int64_t>(v.real);  // truncates, as the server's conversion does
    }
    if (!IntegerFits(type, integer)) {
        error = Utf8ToUtf16(std::string("Arithmetic overflow error converting expression to data type ") +
                            SqlTypeName(type) + ".");
        return DB_E_DATAOVERFLOW;
    }
    out = DbValue::Integer(integer);
    return S_OK;
}

HRESULT BindReal(const VariantContent& v, DataTypeEnum type, DbValue& out, std::u16string& error) {
    if (v.numeric) {
        out = v.isInteger ? DbValue::Integer(v.integer) : DbValue::Real(v.real);
        return S_OK;
    }
    if (v.value.vt != VT_BSTR) return WrongType(v.value.vt, type, error);
    double real = 0;
    if (!ParseReal(v.text, real)) {
        error = ConversionText(v.text, "float");
        return DB_E_CANTCONVERTVALUE;
    }
    out = DbValue::Real(real);
    return S_OK;
}

HRESULT BindBinary(const VariantContent& v, DataTypeEnum type, DbValue& out, std::u16string& error) {
    std::vector<uint8_t> bytes;
    if (ArrayBytes(v.value, bytes)) {
        out = DbValue::Blob(std::move(bytes));
        return S_OK;
    }
    if (v.value.vt == VT_BSTR) {
        error =
            u"Implicit conversion from data type nvarchar to varbinary is not allowed. Use the CONVERT "
            u"function to run this query.";
        return DB_E_CANTCONVERTVALUE;
    }
    return WrongType(v.value.vt, type, error);
}

HRESULT BindText(VariantContent& v, DataTypeEnum type, DbValue& out, std::u16string& error) {
    if (v.value.vt == VT_BSTR) {
        out = DbValue::Text(std::move(v.text));
        return S_OK;
    }
    if (v.value.vt == VT_DATE) {
        bool ok = false;
        out = DateValue(v.value.date, ok);
        if (ok) return S_OK;
    } else if (v.numeric) {
        out = DbValue::Text(v.isInteger ? std::to_string(v.integer) : FormatReal(v.real));
        return S_OK;
    }
    return WrongType(v.value.vt, type, error);
}

// A parameter of any other type takes the value as its own type has it.
HRESULT BindAny(VariantContent& v, DataTypeEnum type, DbValue& out, std::u16string& error) {
    std::vector<uint8_t> bytes;
    if (v.value.vt == VT_BSTR) {
        out = DbValue::Text(std::move(v.text));
        return S_OK;
    }
    if (v.value.vt == VT_DATE) {
        bool ok = false;
        out = DateValue(v.value.date, ok);
        if (ok) return S_OK;
    } else if (v.numeric) {
        out = v.isInteger ? DbValue::Integer(v.integer) : DbValue::Real(v.real);
        return S_OK;
    } else if (ArrayBytes(v.value, bytes)) {
        out = DbValue::Blob(std::move(bytes));
        return S_OK;
    }
    return WrongType(v.value.vt, type, error);
}

bool IsMissing(const VARIANT& value) {
    return value.vt == VT_EMPTY || value.vt == VT_NULL ||
           (value.vt == VT_ERROR && value.scode == static_cast<SCODE>(DISP_E_PARAMNOTFOUND));
}

// An integer of an integer type for an integer parameter, the commonest
// value: stored without the text and byte buffers the other conversions
// need, and keeping the room `out` has for them. False when it does not fit.
bool BindPlainInteger(const VARIANT& value, DataTypeEnum type, DbValue& out) {
    int64_t integer = 0;
    double unused = 0;
    bool isInteger = true;
    NumericValue(value, integer, unused, isInteger);
    if (!IntegerFits(type, integer)) return false;
    out.kind = DbValue::Kind::Integer;
    out.integer = integer;
    out.real = 0;
    out.text.clear();
    out.blob.clear();
    return true;
}

}  // namespace

HRESULT ToDbValue(const VARIANT& value, DataTypeEnum type, DbValue& out, std::u16string& error) {
    if (value.vt & VT_BYREF) {
        VariantHolder direct;
        HRESULT hr = direct.CopyFrom(value);
        if (FAILED(hr)) return hr;
        return ToDbValue(direct.ref(), type, out, error);
    }
    if (IsMissing(value)) {
        out = DbValue::Null();
        return S_OK;
    }
    const Category category = CategoryOf(type);
    if (category == Category::Integer && IsPlainInteger(value.vt) && BindPlainInteger(value, type, out)) return S_OK;
    VariantContent content(value);
    switch (category) {
        case Category::Guid: return BindGuid(content, out, error);
        case Category::Date: return BindDate(content, out, error);
        case Category::Boolean: return BindBoolean(content, type, out, error);
        case Category::Integer: return BindInteger(content, type, out, error);
        case Category::Real: return BindReal(content, type, out, error);
        case Category::Binary: return BindBinary(content, type, out, error);
        case Category::Text: return BindText(content, type, out, error);
        case Category::Any: return BindAny(content, type, out, error);
    }
    return WrongType(value.vt, type, error);
}

}  // namespace wincompat::ado
