// The rules both directions of the value conversions share: the kinds of ADO
// data types and their integer ranges, and the text forms of numbers.
#pragma once
#include <adoint.h>

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace wincompat::ado::detail {

enum class Category { Text, Integer, Boolean, Real, Date, Guid, Binary, Any };

inline Category CategoryOf(DataTypeEnum type) {
    switch (type) {
        case adBSTR:
        case adChar:
        case adVarChar:
        case adLongVarChar:
        case adWChar:
        case adVarWChar:
        case adLongVarWChar: return Category::Text;
        case adTinyInt:
        case adSmallInt:
        case adInteger:
        case adBigInt:
        case adUnsignedTinyInt:
        case adUnsignedSmallInt:
        case adUnsignedInt:
        case adUnsignedBigInt: return Category::Integer;
        case adBoolean: return Category::Boolean;
        case adSingle:
        case adDouble:
        case adCurrency:
        case adDecimal:
        case adNumeric:
        case adVarNumeric: return Category::Real;
        case adDate:
        case adDBDate:
        case adDBTime:
        case adDBTimeStamp:
        case adFileTime: return Category::Date;
        case adGUID: return Category::Guid;
        case adBinary:
        case adVarBinary:
        case adLongVarBinary: return Category::Binary;
        default: return Category::Any;
    }
}

inline bool IntegerFits(DataTypeEnum type, int64_t value) {
    switch (type) {
        case adTinyInt: return value >= -128 && value <= 127;
        case adUnsignedTinyInt: return value >= 0 && value <= 255;
        case adSmallInt: return value >= -32768 && value <= 32767;
        case adUnsignedSmallInt: return value >= 0 && value <= 65535;
        case adInteger:
            return value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
        case adUnsignedInt: return value >= 0 && value <= 0xFFFFFFFFLL;
        default: return true;
    }
}

// An integer from decimal text, blanks around it allowed: false for anything
// else or a number out of range.
bool ParseInteger(std::string_view text, int64_t& value);
// Seventeen significant digits: the text reads back as the same double.
std::string FormatReal(double value);

}  // namespace wincompat::ado::detail
