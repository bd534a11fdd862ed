// The names the statement log writes for VARIANT types, ADO data types and
// parameter directions.
#include "ado/Values.h"

namespace wincompat::ado {

std::string VariantTypeName(VARTYPE vt) {
    static const char* const kNames[] = {
        "VT_EMPTY", "VT_NULL",     "VT_I2",    "VT_I4",   "VT_R4",      "VT_R8",      "VT_CY",      "VT_DATE",
        "VT_BSTR",  "VT_DISPATCH", "VT_ERROR", "VT_BOOL", "VT_VARIANT", "VT_UNKNOWN", "VT_DECIMAL", "VT_15",
        "VT_I1",    "VT_UI1",      "VT_UI2",   "VT_UI4",  "VT_I8",      "VT_UI8",     "VT_INT",     "VT_UINT",
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
