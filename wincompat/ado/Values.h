// Value conversions between OLE Automation VARIANTs and database values, as
// ADO over SQL Server performs them: parameter binding by ADO data type, and
// typing of column values by the column's declared SQL Server type.
#pragma once
#include <windows.h>

#include <adoint.h>

#include <string>
#include <string_view>

#include "ado/Provider.h"
#include "common/Bstr.h"
#include "common/Utf.h"

namespace wincompat::ado {

// BSTRs and UTF conversions are common/Bstr.h's and common/Utf.h's.
using wincompat::Utf16ToUtf8;
using wincompat::Utf8ToUtf16;
inline std::string BstrUtf8(BSTR text) { return Utf16ToUtf8(BstrView(text)); }

// Dates travel as "YYYY-MM-DD HH:MM:SS.mmm": ISO 8601 with the space that
// SQLite's own date functions use, so that stored times sort as text and
// read well in the sqlite3 shell. Rounded to the millisecond.
bool DateToText(DATE date, std::string& text);
// Accepts "YYYY-MM-DD", with an optional time "[T ]HH:MM[:SS[.fff]]" and an
// optional "Z"; false for anything else or an impossible date.
bool TextToDate(std::string_view text, DATE& date);

// The canonical text of a GUID: braced, upper case. Accepts the braced and
// the bare 36-character forms in any case, as SQL Server does.
bool CanonicalGuidText(std::string_view text, std::string& canonical);

// Binding of one parameter value. On failure returns the HRESULT and sets
// `error` to the description the server or ADO gives.
HRESULT ToDbValue(const VARIANT& value, DataTypeEnum type, DbValue& out, std::u16string& error);

// The ADO type of a column of this declared type ("int", "nvarchar(50)",
// "uniqueidentifier", ...). adEmpty when there is none (an expression).
DataTypeEnum ColumnTypeFromDeclared(std::string_view declared);

// A database value as a VARIANT of the type ADO gives for `type`; with adEmpty
// the value's own storage decides. `out` must be cleared or fresh.
HRESULT ToVariant(const DbValue& value, DataTypeEnum type, VARIANT* out);
HRESULT ToVariant(const DbValueView& value, DataTypeEnum type, VARIANT* out);

// Human-readable text of a VARIANT for the statement log.
std::string VariantTypeName(VARTYPE vt);
const char* DataTypeName(DataTypeEnum type);
const char* DirectionName(ParameterDirectionEnum direction);

// Owns one VARIANT: cleared on destruction.
class VariantHolder {
public:
    VariantHolder() { VariantInit(&value_); }
    ~VariantHolder() { VariantClear(&value_); }
    VariantHolder(const VariantHolder& other) {
        VariantInit(&value_);
        VariantCopy(&value_, const_cast<VARIANT*>(&other.value_));
    }
    VariantHolder& operator=(const VariantHolder& other) {
        if (this != &other) VariantCopy(&value_, const_cast<VARIANT*>(&other.value_));
        return *this;
    }
    // A move hands the VARIANT over as it is; the source is left EMPTY.
    VariantHolder(VariantHolder&& other) noexcept : value_(other.value_) { VariantInit(&other.value_); }
    VariantHolder& operator=(VariantHolder&& other) noexcept {
        if (this != &other) {
            VariantClear(&value_);
            value_ = other.value_;
            VariantInit(&other.value_);
        }
        return *this;
    }
    VARIANT* get() { return &value_; }
    const VARIANT& ref() const { return value_; }
    HRESULT CopyFrom(const VARIANT& source) { return VariantCopyInd(&value_, const_cast<VARIANT*>(&source)); }
    HRESULT CopyTo(VARIANT* target) const {
        VariantInit(target);
        return VariantCopy(target, const_cast<VARIANT*>(&value_));
    }

private:
    VARIANT value_;
};

}  // namespace wincompat::ado
