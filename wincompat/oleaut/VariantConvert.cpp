// VariantChangeType and VariantChangeTypeEx: conversions between the Automation
// value types with Windows' rules. Every source is first read in its most exact
// form (an integer, a real, or an exact decimal number for currency, DECIMAL and
// text); each target then has one function that turns that reading into its type.
#include <windows.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "common/Bstr.h"
#include "common/CaseCompare.h"
#include "oleaut/Calendar.h"
#include "oleaut/NumberText.h"
#include "oleaut/VariantTypes.h"

namespace {
using wincompat::BstrView;
using wincompat::EqualsIgnoringAsciiCase;
using wincompat::oleaut::DecimalText;

struct Context {
    LCID lcid;
    USHORT flags;
};

// A source value read as a number.
struct Numeric {
    enum Kind { Integer, Real, Exact } kind = Integer;
    __int128 integer = 0;
    double real = 0;
    int realDigits = 15;  // the significant digits the real carries: 7 for VT_R4
    DecimalText exact;
};

using wincompat::oleaut::IsValidBaseType;

bool IsValidSourceType(VARTYPE vt) {
    if (vt & (VT_VECTOR | VT_RESERVED)) return false;
    VARTYPE base = vt & VT_TYPEMASK;
    if (!IsValidBaseType(base)) return false;
    if (vt & VT_ARRAY) return base != VT_EMPTY && base != VT_NULL;
    return base != VT_VARIANT || (vt & VT_BYREF);
}

bool IsValidTargetType(VARTYPE vt) {
    if (vt & (VT_VECTOR | VT_RESERVED | VT_BYREF)) return false;
    VARTYPE base = vt & VT_TYPEMASK;
    if (!IsValidBaseType(base)) return false;
    if (vt & VT_ARRAY) return base != VT_EMPTY && base != VT_NULL;
    return base != VT_VARIANT && base != VT_RECORD;
}

// ---- Reading the source ----

DecimalText ReadDecimal(const DECIMAL& value) {
    unsigned __int128 mantissa = (static_cast<unsigned __int128>(value.Hi32) << 64) | value.Lo64;
    DecimalText number = wincompat::oleaut::DecimalTextFromInteger(static_cast<__int128>(mantissa));
    if (!number.IsZero()) {
        number.exponent -= value.scale;
        number.negative = (value.sign & DECIMAL_NEG) != 0;
    }
    return number;
}

DecimalText ReadCurrency(const CY& value) {
    DecimalText number = wincompat::oleaut::DecimalTextFromInteger(value.int64);
    if (!number.IsZero()) number.exponent -= 4;
    return number;
}

// The object's value property, which Automation reads where an object stands for a value.
HRESULT ReadDefaultValue(IDispatch* object, const Context& context, VARIANT& value) {
    VariantInit(&value);
    if (!object || (context.flags & VARIANT_NOVALUEPROP)) return DISP_E_TYPEMISMATCH;
    DISPPARAMS noArguments{nullptr, nullptr, 0, 0};
    HRESULT hr = object->Invoke(DISPID_VALUE, IID_NULL, context.lcid, DISPATCH_PROPERTYGET, &noArguments, &value,
                                nullptr, nullptr);
    if (FAILED(hr)) return hr == DISP_E_MEMBERNOTFOUND ? DISP_E_TYPEMISMATCH : hr;
    if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) {  // an object again: no value to be had
        VariantClear(&value);
        return DISP_E_TYPEMISMATCH;
    }
    return S_OK;
}

// Owns a VARIANT for the length of a conversion.
struct ScopedVariant {
    VARIANT value;
    ScopedVariant() { VariantInit(&value); }
    ~ScopedVariant() { VariantClear(&value); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
};

HRESULT ReadNumeric(const VARIANT& source, const Context& context, Numeric& out) {
    out = Numeric();
    switch (source.vt) {
        case VT_EMPTY: out.integer = 0; return S_OK;
        case VT_I1: out.integer = source.cVal; return S_OK;
        case VT_I2: out.integer = source.iVal; return S_OK;
        case VT_I4:
        case VT_INT: out.integer = source.lVal; return S_OK;
        case VT_I8: out.integer = source.llVal; return S_OK;
        case VT_UI1: out.integer = source.bVal; return S_OK;
        case VT_UI2: out.integer = source.uiVal; return S_OK;
        case VT_UI4:
        case VT_UINT: out.integer = source.ulVal; return S_OK;
        case VT_UI8: out.integer = source.ullVal; return S_OK;
        case VT_BOOL: out.integer = source.boolVal; return S_OK;  // true reads as -1
        case VT_R4:
            out.kind = Numeric::Real;
            out.real = source.fltVal;
            out.realDigits = 7;
            return S_OK;
        case VT_R8:
        case VT_DATE:
            out.kind = Numeric::Real;
            out.real = source.dblVal;
            return S_OK;
        case VT_CY:
            out.kind = Numeric::Exact;
            out.exact = ReadCurrency(source.cyVal);
            return S_OK;
        case VT_DECIMAL:
            if (source.decVal.scale > 28) return E_INVALIDARG;
            out.kind = Numeric::Exact;
            out.exact = ReadDecimal(source.decVal);
            return S_OK;
        case VT_BSTR: {
            out.kind = Numeric::Exact;
            const OLECHAR* text = source.bstrVal ? source.bstrVal : u"";
            bool parsed = wincompat::oleaut::ParseNumberText(text, SysStringLen(source.bstrVal),
                                                             wincompat::oleaut::SeparatorsFor(context.lcid), out.exact);
            return parsed ? S_OK : DISP_E_TYPEMISMATCH;
        }
        case VT_DISPATCH: {
            ScopedVariant value;
            HRESULT hr = ReadDefaultValue(source.pdispVal, context, value.value);
            return FAILED(hr) ? hr : ReadNumeric(value.value, context, out);
        }
        default: return DISP_E_TYPEMISMATCH;  // VT_NULL, VT_ERROR, objects without a value, arrays
    }
}

// ---- Numeric targets ----

// A double that is a whole number, as a 128-bit integer; false when far out of every range.
bool WholeDoubleToInteger(double whole, __int128& out) {
    if (!std::isfinite(whole) || std::fabs(whole) >= 1e30) return false;
    out = static_cast<__int128>(whole);
    return true;
}

// Reals round half to even ("banker's rounding"), as Automation does.
HRESULT ToInteger(const Numeric& number, __int128 minimum, __int128 maximum, __int128& out) {
    __int128 value = 0;
    switch (number.kind) {
        case Numeric::Integer: value = number.integer; break;
        case Numeric::Real:
            if (!WholeDoubleToInteger(std::nearbyint(number.real), value)) return DISP_E_OVERFLOW;
            break;
        case Numeric::Exact:
            if (!wincompat::oleaut::IntegerFromDecimalText(number.exact, value)) return DISP_E_OVERFLOW;
            break;
    }
    if (value < minimum || value > maximum) return DISP_E_OVERFLOW;
    out = value;
    return S_OK;
}

HRESULT ToDouble(const Numeric& number, double& out) {
    switch (number.kind) {
        case Numeric::Integer: out = static_cast<double>(number.integer); return S_OK;
        case Numeric::Real: out = number.real; return S_OK;
        case Numeric::Exact:
            return wincompat::oleaut::DoubleFromDecimalText(number.exact, out) ? S_OK : DISP_E_OVERFLOW;
    }
    return E_UNEXPECTED;
}

DecimalText ToDecimalText(const Numeric& number) {
    switch (number.kind) {
        case Numeric::Integer: return wincompat::oleaut::DecimalTextFromInteger(number.integer);
        case Numeric::Real: return wincompat::oleaut::DecimalTextFromDouble(number.real, number.realDigits);
        case Numeric::Exact: return number.exact;
    }
    return DecimalText();
}

// Fits an exact number into DECIMAL's 96-bit mantissa and scale 0-28, dropping
// fraction digits (rounding half to even) where they do not fit.
HRESULT EncodeDecimal(DecimalText number, DECIMAL& out) {
    constexpr size_t kMaxDigits = 29;
    for (;;) {
        if (number.IsZero()) {
            DECIMAL_SETZERO(out);
            out.wReserved = 0;
            return S_OK;
        }
        if (number.exponent < -28) {
            wincompat::oleaut::RoundToExponent(number, -28);
            continue;
        }
        size_t zeros = number.exponent > 0 ? static_cast<size_t>(number.exponent) : 0;
        if (number.digits.size() + zeros > kMaxDigits) {
            if (number.exponent >= 0) return DISP_E_OVERFLOW;
            wincompat::oleaut::RoundToExponent(number,
                                               number.exponent + static_cast<int>(number.digits.size() - kMaxDigits));
            continue;
        }
        unsigned __int128 mantissa = 0;
        for (char digit : number.digits) mantissa = mantissa * 10 + static_cast<unsigned>(digit - '0');
        for (size_t i = 0; i < zeros; ++i) mantissa *= 10;
        if (mantissa >> 96) {
            if (number.exponent >= 0) return DISP_E_OVERFLOW;
            wincompat::oleaut::RoundToExponent(number, number.exponent + 1);
            continue;
        }
        out.wReserved = 0;
        out.scale = static_cast<BYTE>(number.exponent < 0 ? -number.exponent : 0);
        out.sign = number.negative ? DECIMAL_NEG : 0;
        out.Hi32 = static_cast<ULONG>(mantissa >> 64);
        out.Lo64 = static_cast<ULONGLONG>(mantissa);
        return S_OK;
    }
}

HRESULT ToDecimal(const Numeric& number, DECIMAL& out) {
    if (number.kind == Numeric::Real && !std::isfinite(number.real)) return DISP_E_OVERFLOW;
    return EncodeDecimal(ToDecimalText(number), out);
}

// Currency is a 64-bit count of ten-thousandths.
HRESULT ToCurrency(const Numeric& number, CY& out) {
    __int128 units = 0;
    switch (number.kind) {
        case Numeric::Integer: units = number.integer * 10000; break;
        case Numeric::Real:
            if (!WholeDoubleToInteger(std::nearbyint(number.real * 10000.0), units)) return DISP_E_OVERFLOW;
            break;
        case Numeric::Exact: {
            DecimalText scaled = number.exact;
            if (!scaled.IsZero()) scaled.exponent += 4;
            if (!wincompat::oleaut::IntegerFromDecimalText(scaled, units)) return DISP_E_OVERFLOW;
            break;
        }
    }
    if (units < INT64_MIN || units > INT64_MAX) return DISP_E_OVERFLOW;
    out.int64 = static_cast<LONGLONG>(units);
    return S_OK;
}

struct IntegerRange {
    __int128 minimum;
    __int128 maximum;
};

bool IntegerRangeOf(VARTYPE vt, IntegerRange& range) {
    switch (vt) {
        case VT_I1: range = {INT8_MIN, INT8_MAX}; return true;
        case VT_I2: range = {INT16_MIN, INT16_MAX}; return true;
        case VT_I4:
        case VT_INT: range = {INT32_MIN, INT32_MAX}; return true;
        case VT_I8: range = {INT64_MIN, INT64_MAX}; return true;
        case VT_UI1: range = {0, UINT8_MAX}; return true;
        case VT_UI2: range = {0, UINT16_MAX}; return true;
        case VT_UI4:
        case VT_UINT: range = {0, UINT32_MAX}; return true;
        case VT_UI8: range = {0, static_cast<__int128>(UINT64_MAX)}; return true;
        default: return false;
    }
}

void StoreInteger(VARTYPE vt, __int128 value, VARIANT& result) {
    switch (vt) {
        case VT_I1: result.cVal = static_cast<CHAR>(value); break;
        case VT_I2: result.iVal = static_cast<SHORT>(value); break;
        case VT_I4:
        case VT_INT: result.lVal = static_cast<LONG>(value); break;
        case VT_I8: result.llVal = static_cast<LONGLONG>(value); break;
        case VT_UI1: result.bVal = static_cast<BYTE>(value); break;
        case VT_UI2: result.uiVal = static_cast<USHORT>(value); break;
        case VT_UI4:
        case VT_UINT: result.ulVal = static_cast<ULONG>(value); break;
        case VT_UI8: result.ullVal = static_cast<ULONGLONG>(value); break;
        default: break;
    }
    result.vt = vt;
}

HRESULT ConvertToInteger(const VARIANT& source, const Context& context, VARTYPE vt, VARIANT& result) {
    IntegerRange range{};
    IntegerRangeOf(vt, range);
    Numeric number;
    HRESULT hr = ReadNumeric(source, context, number);
    if (FAILED(hr)) return hr;
    __int128 value = 0;
    hr = ToInteger(number, range.minimum, range.maximum, value);
    if (SUCCEEDED(hr)) StoreInteger(vt, value, result);
    return hr;
}

HRESULT ConvertToReal(const VARIANT& source, const Context& context, VARTYPE vt, VARIANT& result) {
    Numeric number;
    HRESULT hr = ReadNumeric(source, context, number);
    if (FAILED(hr)) return hr;
    double value = 0;
    hr = ToDouble(number, value);
    if (FAILED(hr)) return hr;
    if (vt == VT_R4) {
        if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return DISP_E_OVERFLOW;
        result.fltVal = static_cast<float>(value);
    } else {
        result.dblVal = value;
    }
    result.vt = vt;
    return S_OK;
}

HRESULT ConvertToDecimal(const VARIANT& source, const Context& context, VARIANT& result) {
    Numeric number;
    HRESULT hr = ReadNumeric(source, context, number);
    if (FAILED(hr)) return hr;
    DECIMAL value{};
    hr = ToDecimal(number, value);
    if (FAILED(hr)) return hr;
    result.decVal = value;  // overlays the whole VARIANT, so vt is set after
    result.vt = VT_DECIMAL;
    return S_OK;
}

HRESULT ConvertToCurrency(const VARIANT& source, const Context& context, VARIANT& result) {
    Numeric number;
    HRESULT hr = ReadNumeric(source, context, number);
    if (FAILED(hr)) return hr;
    CY value{};
    hr = ToCurrency(number, value);
    if (FAILED(hr)) return hr;
    result.cyVal = value;
    result.vt = VT_CY;
    return S_OK;
}

// ---- Dates ----

// Text is read as a date; numbers are day counts that must lie within years 100-9999.
HRESULT ConvertToDate(const VARIANT& source, const Context& context, VARIANT& result) {
    double date = 0;
    if (source.vt == VT_BSTR) {
        const OLECHAR* text = source.bstrVal ? source.bstrVal : u"";
        if (!wincompat::oleaut::ParseDateText(text, SysStringLen(source.bstrVal), date)) return DISP_E_TYPEMISMATCH;
    } else {
        Numeric number;
        HRESULT hr = ReadNumeric(source, context, number);
        if (FAILED(hr)) return hr;
        hr = ToDouble(number, date);
        if (FAILED(hr)) return hr;
        if (!wincompat::oleaut::IsDateInRange(date)) return DISP_E_OVERFLOW;
    }
    result.date = date;
    result.vt = VT_DATE;
    return S_OK;
}

// ---- Booleans ----

bool EqualsExactly(BSTR text, const char16_t* word) {
    return std::char_traits<char16_t>::length(word) == SysStringLen(text) &&
           std::char_traits<char16_t>::compare(text, word, SysStringLen(text)) == 0;
}

// Text may be "True" or "False" in any case, the literals "#TRUE#" and
// "#FALSE#" exactly as written (in every locale), or a number; any other
// value is true when not zero.
HRESULT ConvertToBool(const VARIANT& source, const Context& context, VARIANT& result) {
    bool value = false;
    if (source.vt == VT_BSTR && EqualsExactly(source.bstrVal, u"#TRUE#")) {
        value = true;
    } else if (source.vt == VT_BSTR && EqualsExactly(source.bstrVal, u"#FALSE#")) {
        value = false;
    } else if (source.vt == VT_BSTR && EqualsIgnoringAsciiCase(BstrView(source.bstrVal), u"true")) {
        value = true;
    } else if (source.vt == VT_BSTR && EqualsIgnoringAsciiCase(BstrView(source.bstrVal), u"false")) {
        value = false;
    } else {
        Numeric number;
        HRESULT hr = ReadNumeric(source, context, number);
        if (FAILED(hr)) return hr;
        switch (number.kind) {
            case Numeric::Integer: value = number.integer != 0; break;
            case Numeric::Real: value = number.real != 0.0; break;
            case Numeric::Exact: value = !number.exact.IsZero(); break;
        }
    }
    result.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    result.vt = VT_BOOL;
    return S_OK;
}

// ---- Text ----

HRESULT TextOf(const VARIANT& source, const Context& context, std::u16string& text) {
    wincompat::oleaut::NumberSeparators separators = wincompat::oleaut::SeparatorsFor(context.lcid);
    switch (source.vt) {
        case VT_EMPTY: text.clear(); return S_OK;
        case VT_BOOL:
            // Without a flag asking for words, a boolean is written as the number it is (-1 or 0).
            if (context.flags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL)) {
                text = source.boolVal ? u"True" : u"False";
                return S_OK;
            }
            text = wincompat::oleaut::FormatDecimalText(wincompat::oleaut::DecimalTextFromInteger(source.boolVal),
                                                        separators);
            return S_OK;
        case VT_R4: text = wincompat::oleaut::FormatReal(source.fltVal, 7, separators); return S_OK;
        case VT_R8: text = wincompat::oleaut::FormatReal(source.dblVal, 15, separators); return S_OK;
        case VT_DATE:
            // Empty only for a date outside years 100-9999 (also after rounding to the second).
            text = wincompat::oleaut::FormatDateText(source.date);
            return text.empty() ? DISP_E_OVERFLOW : S_OK;
        case VT_DISPATCH: {
            ScopedVariant value;
            HRESULT hr = ReadDefaultValue(source.pdispVal, context, value.value);
            return FAILED(hr) ? hr : TextOf(value.value, context, text);
        }
        default: {
            Numeric number;  // the integer types, currency and DECIMAL
            HRESULT hr = ReadNumeric(source, context, number);
            if (FAILED(hr)) return hr;
            text = wincompat::oleaut::FormatDecimalText(ToDecimalText(number), separators);
            return S_OK;
        }
    }
}

HRESULT ConvertToText(const VARIANT& source, const Context& context, VARIANT& result) {
    std::u16string text;
    HRESULT hr = TextOf(source, context, text);
    if (FAILED(hr)) return hr;
    BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!value) return E_OUTOFMEMORY;
    result.bstrVal = value;
    result.vt = VT_BSTR;
    return S_OK;
}

// ---- Byte arrays ----

// A string's bytes (UTF-16 code units as they lie in memory) become a byte vector.
HRESULT BytesFromText(const VARIANT& source, VARIANT& result) {
    UINT size = SysStringByteLen(source.bstrVal);
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, size);
    if (!bytes) return E_OUTOFMEMORY;
    if (size) memcpy(bytes->pvData, source.bstrVal, size);
    result.parray = bytes;
    result.vt = VT_ARRAY | VT_UI1;
    return S_OK;
}

// A one-dimensional byte array becomes a string of those bytes; an odd count leaves
// the last byte as half a character, as Windows does.
HRESULT TextFromBytes(const VARIANT& source, VARIANT& result) {
    SAFEARRAY* bytes = source.parray;
    if (!bytes || SafeArrayGetDim(bytes) != 1) return DISP_E_TYPEMISMATCH;
    void* data = nullptr;
    HRESULT hr = SafeArrayAccessData(bytes, &data);
    if (FAILED(hr)) return hr;
    BSTR text = SysAllocStringByteLen(static_cast<LPCSTR>(data), bytes->rgsabound[0].cElements);
    SafeArrayUnaccessData(bytes);
    if (!text) return E_OUTOFMEMORY;
    result.bstrVal = text;
    result.vt = VT_BSTR;
    return S_OK;
}

// ---- Objects and the empty and null values ----

HRESULT ConvertToObject(const VARIANT& source, VARTYPE vt, VARIANT& result) {
    if (source.vt == VT_EMPTY) {
        result.punkVal = nullptr;
        result.vt = vt;
        return S_OK;
    }
    if (source.vt != VT_UNKNOWN && source.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
    IUnknown* object = source.punkVal;
    void* converted = nullptr;
    if (object) {
        HRESULT hr = object->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &converted);
        if (FAILED(hr)) return hr == E_NOINTERFACE ? DISP_E_TYPEMISMATCH : hr;
    }
    result.punkVal = static_cast<IUnknown*>(converted);
    result.vt = vt;
    return S_OK;
}

// Any plain value may become EMPTY or NULL, except that NULL never becomes EMPTY.
HRESULT ConvertToEmptyOrNull(const VARIANT& source, VARTYPE vt, VARIANT& result) {
    VARTYPE from = source.vt;
    bool plain = !(from & VT_ARRAY) && from <= VT_UINT && from != 15 && from != VT_ERROR;
    if (!plain || (vt == VT_EMPTY && from == VT_NULL)) return DISP_E_TYPEMISMATCH;
    result.vt = vt;
    return S_OK;
}

// ---- Dispatch by target ----

HRESULT Convert(const VARIANT& source, const Context& context, VARTYPE vt, VARIANT& result) {
    if (source.vt == vt) return VariantCopy(&result, const_cast<VARIANT*>(&source));
    if (vt == (VT_ARRAY | VT_UI1) && source.vt == VT_BSTR) return BytesFromText(source, result);
    if (vt == VT_BSTR && source.vt == (VT_ARRAY | VT_UI1)) return TextFromBytes(source, result);
    if ((vt & VT_ARRAY) || (source.vt & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
    if (vt == VT_EMPTY || vt == VT_NULL) return ConvertToEmptyOrNull(source, vt, result);
    if (source.vt == VT_NULL) return DISP_E_TYPEMISMATCH;

    IntegerRange range{};
    if (IntegerRangeOf(vt, range)) return ConvertToInteger(source, context, vt, result);
    switch (vt) {
        case VT_R4:
        case VT_R8: return ConvertToReal(source, context, vt, result);
        case VT_DECIMAL: return ConvertToDecimal(source, context, result);
        case VT_CY: return ConvertToCurrency(source, context, result);
        case VT_DATE: return ConvertToDate(source, context, result);
        case VT_BOOL: return ConvertToBool(source, context, result);
        case VT_BSTR: return ConvertToText(source, context, result);
        case VT_UNKNOWN:
        case VT_DISPATCH: return ConvertToObject(source, vt, result);
        default: return DISP_E_TYPEMISMATCH;  // VT_ERROR and the like come only from their own type
    }
}
}  // namespace

extern "C" HRESULT STDAPICALLTYPE VariantChangeTypeEx(VARIANTARG* pvargDest, VARIANTARG* pvarSrc, LCID lcid,
                                                      USHORT wFlags, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) return E_INVALIDARG;
    if (!IsValidSourceType(pvarSrc->vt) || !IsValidTargetType(vt)) return DISP_E_BADVARTYPE;

    // A reference is converted from the value it points at.
    ScopedVariant dereferenced;
    const VARIANT* source = pvarSrc;
    if (pvarSrc->vt & VT_BYREF) {
        HRESULT hr = VariantCopyInd(&dereferenced.value, pvarSrc);
        if (FAILED(hr)) return hr;
        source = &dereferenced.value;
    }

    // The result is complete before the destination (which may be the source) is touched.
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = Convert(*source, Context{lcid, wFlags}, vt, result);
    if (FAILED(hr)) return hr;
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *pvargDest = result;
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE VariantChangeType(VARIANTARG* pvargDest, VARIANTARG* pvarSrc, USHORT wFlags,
                                                    VARTYPE vt) {
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}
