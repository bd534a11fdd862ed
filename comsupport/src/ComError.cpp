// ComError's text: the code, the system's message for it, and the failing object's error
// description, taken only when that object supports error information for the interface called.
#include "comsupport/ComError.h"

#include <cstdio>

#include "comsupport/ComRef.h"

namespace comsupport {
namespace {

// The description of the thread's error object, taken only when `failing`
// says it supplies error information for `iid` (so a stale object set by an
// unrelated call is never mistaken for this failure's).
OleString DescriptionFromErrorInfo(IUnknown* failing, const IID* iid) {
    if (!failing || !iid) return OleString();
    ISupportErrorInfo* support = nullptr;
    if (FAILED(failing->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))) || !support)
        return OleString();
    HRESULT supported = support->InterfaceSupportsErrorInfo(*iid);
    support->Release();
    if (supported != S_OK) return OleString();
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return OleString();
    BSTR description = nullptr;
    HRESULT hr = info->GetDescription(&description);
    info->Release();
    OleString text;
    if (SUCCEEDED(hr) && description) text.assign(description, SysStringLen(description));
    SysFreeString(description);
    return text;
}

std::string DescribeForWhat(HRESULT hr, const OleString& description) {
    char code[16];
    snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
    std::string text = code;
    try {
        OleString message = SystemMessageFor(hr);
        if (!message.empty()) text += ": " + Utf8FromOle(message);
        if (!description.empty()) text += " (" + Utf8FromOle(description) + ")";
    } catch (...) {
        // what() must stay available even when the conversion itself fails.
    }
    return text;
}

}  // namespace

ComError::ComError(HRESULT hr, OleString description)
    : hr_(hr), description_(std::move(description)), what_(DescribeForWhat(hr, description_)) {}

OleString ComError::SystemMessage() const { return SystemMessageFor(hr_); }

OleString SystemMessageFor(HRESULT hr) {
    OLECHAR buffer[1024];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                  static_cast<DWORD>(hr), 0, buffer, sizeof buffer / sizeof buffer[0], nullptr);
    OleString text(buffer, length);
    while (!text.empty() && (text.back() == OLECHAR('\n') || text.back() == OLECHAR('\r'))) text.pop_back();
    return text;
}

void ThrowComError(HRESULT hr, IUnknown* failing, const IID* iid) {
    throw ComError(hr, DescriptionFromErrorInfo(failing, iid));
}

}  // namespace comsupport
