// Creates the policy handler's DOM document: DOMDocument40 by CLSID, else the newest MSXML ProgID
// that activates; synchronous, validating, and refusing DTDs when asked.
#include "DomDocumentFactory.h"

#include "comsupport/Bstr.h"
#include "comsupport/Variant.h"

namespace quillet {
namespace {

// In-process server, in-process handler, local server and remote server.
constexpr DWORD kActivationContext =
    CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

HRESULT Instantiate(REFCLSID clsid, comsupport::ComRef<IXMLDOMDocument2>& document) {
    return CoCreateInstance(clsid, nullptr, kActivationContext, kIidXmlDomDocument2, document.ReceiveVoid());
}

HRESULT SetUp(IXMLDOMDocument2* document, bool prohibitDtd) {
    HRESULT hr = document->put_async(VARIANT_FALSE);
    if (SUCCEEDED(hr)) hr = document->put_validateOnParse(VARIANT_TRUE);
    if (SUCCEEDED(hr) && prohibitDtd) {
        BSTR name = SysAllocString(OLESTR("ProhibitDTD"));
        if (!name) return E_OUTOFMEMORY;
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_BOOL;
        value.boolVal = VARIANT_TRUE;
        hr = document->setProperty(name, value);
        SysFreeString(name);
    }
    return hr;
}

}  // namespace

HRESULT CreateDomDocument(comsupport::ComRef<IXMLDOMDocument2>& document, bool prohibitDtd) {
    document.Reset();
    HRESULT hr = Instantiate(kClsidDomDocument40, document);
    if (FAILED(hr)) {
        static const OLECHAR* const kProgIds[] = {OLESTR("MSXML2.DOMDocument.6.0"), OLESTR("MSXML2.DOMDocument.5.0"),
                                                  OLESTR("MSXML2.DOMDocument.4.0")};
        for (const OLECHAR* progId : kProgIds) {
            CLSID clsid;
            hr = CLSIDFromProgID(progId, &clsid);
            if (SUCCEEDED(hr)) hr = Instantiate(clsid, document);
            if (SUCCEEDED(hr)) break;
        }
    }
    if (FAILED(hr) || !document) {
        document.Reset();
        return FAILED(hr) ? hr : E_POINTER;
    }
    hr = SetUp(document.Get(), prohibitDtd);
    if (FAILED(hr)) document.Reset();
    return hr;
}

}  // namespace quillet
