// ReportError: leaves a failing DOM call's description as the thread's error information, naming
// msxml3.dll as its source.
#include "msxml/ComBase.h"

namespace wincompat::msxml {

HRESULT ReportError(HRESULT hr, REFIID iid, const std::u16string& description) {
    ICreateErrorInfo* creator = nullptr;
    if (FAILED(CreateErrorInfo(&creator)) || !creator) return hr;
    creator->SetGUID(iid);
    creator->SetSource(const_cast<LPOLESTR>(OLESTR("msxml3.dll")));
    creator->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))) && info) {
        SetErrorInfo(0, info);
        info->Release();
    }
    creator->Release();
    return hr;
}

}  // namespace wincompat::msxml
