// Reading: a database value as the VARIANT ADO gives for its column, typed by
// the column's declared SQL Server type, and the BSTRs the values become.
#include <cmath>
#include <cstring>

#include "ado/ValueRules.h"
#include "common/Trim.h"
#include "ado/Values.h"
#include "common/CaseCompare.h"

namespace wincompat::ado {
namespace {

using namespace detail;

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
    BSTR b = AllocBstrFromUtf8(text);
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
        case DbValue::Kind::Null: out->vt = VT_NULL; return S_OK;
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
        case DbValue::Kind::Text: return MakeText(value.bytes, out);
        case DbValue::Kind::Blob: return MakeSafeArray(value.bytes, out);
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

}  // namespace

DataTypeEnum ColumnTypeFromDeclared(std::string_view declared) {
    std::string name;
    for (char c : declared) {
        if (c == '(') break;
        name += AsciiLower(c);
    }
    std::string_view n = TrimSpace(name);
    struct Entry {
        const char* name;
        DataTypeEnum type;
    };
    static const Entry kTypes[] = {
        {"int", adInteger},
        {"integer", adInteger},
        {"smallint", adSmallInt},
        {"tinyint", adUnsignedTinyInt},
        {"bigint", adBigInt},
        {"bit", adBoolean},
        {"boolean", adBoolean},
        {"datetime", adDBTimeStamp},
        {"datetime2", adDBTimeStamp},
        {"smalldatetime", adDBTimeStamp},
        {"date", adDBTimeStamp},
        {"datetimeoffset", adDBTimeStamp},
        {"uniqueidentifier", adGUID},
        {"binary", adBinary},
        {"varbinary", adVarBinary},
        {"image", adLongVarBinary},
        {"blob", adLongVarBinary},
        {"nvarchar", adVarWChar},
        {"nchar", adWChar},
        {"varchar", adVarChar},
        {"char", adChar},
        {"text", adLongVarChar},
        {"ntext", adLongVarWChar},
        {"float", adDouble},
        {"double", adDouble},
        {"double precision", adDouble},
        {"real", adSingle},
        {"decimal", adNumeric},
        {"numeric", adNumeric},
        {"money", adCurrency},
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
                (EqualsIgnoringAsciiCase(value.bytes, "true") || EqualsIgnoringAsciiCase(value.bytes, "false"))) {
                out->vt = VT_BOOL;
                out->boolVal = EqualsIgnoringAsciiCase(value.bytes, "true") ? VARIANT_TRUE : VARIANT_FALSE;
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
                return MakeText(CanonicalGuidText(TrimSpace(value.bytes), canonical) ? canonical : value.bytes, out);
            }
            break;
        case Category::Text:
            if (value.kind == DbValue::Kind::Text) return MakeText(value.bytes, out);
            if (value.kind == DbValue::Kind::Integer) return MakeText(std::to_string(value.integer), out);
            if (value.kind == DbValue::Kind::Real) return MakeText(FormatReal(value.real), out);
            break;
        case Category::Binary:
            if (value.kind == DbValue::Kind::Blob) return MakeSafeArray(value.bytes, out);
            if (value.kind == DbValue::Kind::Text) return MakeSafeArray(value.bytes, out);
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
        case Category::Any: break;
    }
    // No declared type, or a stored value that does not fit it (SQLite
    // columns take any value): the storage class decides.
    return NaturalVariant(value, out);
}

}  // namespace wincompat::ado
