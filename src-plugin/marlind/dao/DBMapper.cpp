// Parameter binding for the table mapper (each ADO type bound as the variant type the provider
// expects, event times converted to dates) and the command, recordset and error-report steps its
// statements share.
#include "dao/DBMapper.h"

#include <cstdio>
#include <vector>

#include "comsupport/Bstr.h"
#include "model/ValueConversions.h"

namespace ZELKDAO {
namespace {

unsigned char FoldToLower(unsigned char c) noexcept { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

// The variant type a value of ADO type `type` is bound as.
VARTYPE BindingTypeFor(DataTypeEnum type) noexcept {
    switch (type) {
        case adSmallInt: return VT_I2;
        case adInteger: return VT_INT;  // not VT_I4: the provider sees an int
        case adDate: return VT_DATE;
        case adBoolean: return VT_BOOL;
        case adBinary:
        case adVarBinary:
        case adLongVarBinary: return VT_ARRAY | VT_UI1;
        default: return VT_BSTR;  // adBSTR, adGUID (GUIDs travel as text) and the rest
    }
}

comsupport::Variant BindingValue(const VARIANT& value, VARTYPE bindingType) {
    if (value.vt == VT_NULL || value.vt == bindingType) return comsupport::Variant(value);
    if (bindingType == VT_DATE && value.vt == VT_BSTR) return ZELKXML::TimeTextToDate(value.bstrVal);
    return comsupport::Variant(value).ConvertedTo(bindingType);
}

// Characters of a text, elements of the first dimension of an array, else 0.
LONG BindingSize(const VARIANT& value) {
    if (value.vt == VT_BSTR) return static_cast<LONG>(SysStringLen(value.bstrVal));
    if (value.vt & VT_ARRAY) {
        if (!value.parray) return 0;
        LONG lower = 0, upper = -1;
        comsupport::Check(SafeArrayGetLBound(value.parray, 1, &lower));
        comsupport::Check(SafeArrayGetUBound(value.parray, 1, &upper));
        return upper - lower + 1;
    }
    return 0;
}

void AppendHex(comsupport::OleString& text, unsigned long value) {
    static const char kDigits[] = "0123456789ABCDEF";
    text += OLESTR("0x");
    for (int shift = 28; shift >= 0; shift -= 4) text += OLECHAR(kDigits[(value >> shift) & 0xF]);
}

}  // namespace

bool ColumnNameLess::operator()(const char* a, const char* b) const noexcept {
    for (;; ++a, ++b) {
        const unsigned char x = FoldToLower(static_cast<unsigned char>(*a));
        const unsigned char y = FoldToLower(static_cast<unsigned char>(*b));
        if (x != y || x == 0) return x < y;
    }
}

ParameterRef AddParameter(const CommandRef& command, const OLECHAR* name, DataTypeEnum type, const VARIANT& value,
                          ParameterDirectionEnum direction) {
    const comsupport::Variant bound = BindingValue(value, BindingTypeFor(type));
    const LONG size = BindingSize(bound.Get());
    ParameterRef parameter;
    command.Call(&_ADOCommand::CreateParameter, comsupport::Bstr(name).Get(), type, direction, size, bound.Get(),
                 parameter.Receive());
    ParametersRef parameters;
    command.Call(&_ADOCommand::get_Parameters, parameters.Receive());
    parameters.Call(&ADOParameters::Append, static_cast<IDispatch*>(parameter.Checked()));
    return parameter;
}

namespace mapper {

CommandRef NewCommand(_ADOConnection* connection, CommandTypeEnum type) {
    CommandRef command = CommandRef::Create(kCLSID_Command, kAdoServerContext);
    command.Call(&_ADOCommand::putref_ActiveConnection, connection);
    command.Call(&_ADOCommand::put_CommandType, type);
    return command;
}

void SetCommandText(const CommandRef& command, const std::string& text) {
    command.Call(&_ADOCommand::put_CommandText, comsupport::Bstr::FromUtf8(text).Get());
}

std::string FormatStatement(const char* statementTemplate, const char* first, const char* second, const char* third) {
    const int length = std::snprintf(nullptr, 0, statementTemplate, first, second, third);
    if (length < 0) comsupport::ThrowComError(E_INVALIDARG);
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    std::snprintf(buffer.data(), buffer.size(), statementTemplate, first, second, third);
    return std::string(buffer.data(), static_cast<size_t>(length));
}

void ReportToDebugger(HRESULT hr, const comsupport::OleString& description) noexcept {
    try {
        if (!description.empty()) {
            OutputDebugStringW(description.c_str());
            return;
        }
        // Without a description the failure would leave no trace at all.
        comsupport::OleString text;
        AppendHex(text, static_cast<unsigned long>(hr));
        const comsupport::OleString system = comsupport::SystemMessageFor(hr);
        if (!system.empty()) text += OLESTR(" ") + system;
        OutputDebugStringW(text.c_str());
    } catch (...) {
        // Reporting must not fail the caller's error path.
    }
}

bool IsAtEnd(const RecordsetRef& recordset) {
    VARIANT_BOOL atEnd = VARIANT_TRUE;
    recordset.Call(&_ADORecordset::get_EOF, &atEnd);
    return atEnd != VARIANT_FALSE;
}

comsupport::Variant FieldValue(const RecordsetRef& recordset, const VARIANT& field) {
    comsupport::Variant value;
    recordset.Call(&_ADORecordset::get_Collect, field, value.Receive());
    return value;
}

bool AnyRowAffected(const VARIANT& recordsAffected) {
    if (recordsAffected.vt == VT_EMPTY) return false;
    if (recordsAffected.vt == VT_I4) return recordsAffected.lVal != 0;
    return comsupport::Variant(recordsAffected).ConvertedTo(VT_I4).Get().lVal != 0;
}

void CloseIfOpen(const RecordsetRef& recordset) {
    LONG state = adStateClosed;
    recordset.Call(&_ADORecordset::get_State, &state);
    if (state & adStateOpen) recordset.Call(&_ADORecordset::Close);
}

}  // namespace mapper
}  // namespace ZELKDAO
