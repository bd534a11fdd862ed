// The message handler's calls: an uploaded document loaded and recorded through the host's ADO
// connection; a ComError that ends it goes to the debugger output and the message still counts as
// handled.
#include "MarlindPlugin.h"

#include <new>

#include "DocumentRecorder.h"
#include "comsupport/ComError.h"
#include "dao/AdoAccess.h"
#include "model/VariantValues.h"

namespace {

// The system's text for the code that ended a message; the code itself when
// the system has none, so that the failure leaves a trace.
void ReportEndedMessage(HRESULT hr) noexcept {
    try {
        comsupport::OleString text = comsupport::SystemMessageFor(hr);
        if (text.empty()) {
            static const char kDigits[] = "0123456789ABCDEF";
            const unsigned long code = static_cast<unsigned long>(hr);
            text = OLESTR("0x");
            for (int shift = 28; shift >= 0; shift -= 4) text += OLECHAR(kDigits[(code >> shift) & 0xF]);
        }
        OutputDebugStringW(text.c_str());
    } catch (...) {
        OutputDebugStringW(OLESTR("marlind: message not processed"));
    }
}

// The host's connection as ADO's _Connection, or none when it is not an ADO
// connection: the saves then fail and report by themselves.
ZELKDAO::ConnectionRef AdoConnectionOf(IUnknown* source) {
    ZELKDAO::ConnectionRef connection;
    if (!source) return connection;
    const HRESULT hr = source->QueryInterface(ZELKDAO::kIID_Connection, connection.ReceiveVoid());
    if (hr == E_NOINTERFACE)
        connection.Reset();
    else
        comsupport::Check(hr);
    return connection;
}

}  // namespace

const comserver::InterfaceEntry<CMarlindPlugin>* CMarlindPlugin::Interfaces() {
    static const comserver::InterfaceEntry<CMarlindPlugin> table[] = {
        comserver::InterfaceOf<CMarlindPlugin, IMORVDCMsgHandler>(IID_IMORVDCMsgHandler), {}};
    return table;
}

// Messages towards the agents are not this plug-in's business.
STDMETHODIMP CMarlindPlugin::ProcessDCMessageFromDatabase(IUnknown* /*pDBConnection*/, BSTR /*bstrAppPath*/,
                                                          LONG /*lAutoID*/, LONG /*lLeafNodeID*/, BSTR /*bstrSource*/,
                                                          BSTR /*bstrComputerName*/, BSTR /*bstrIPHostName*/,
                                                          BSTR /*bstrIPAddress*/, BSTR /*bstrBatchUID*/,
                                                          BSTR /*bstrTargetAgentGUID*/, SAFEARRAY* /*psaPayload*/) {
    return E_NOTIMPL;
}

// The agent's identity, addresses and origin do not change what is recorded:
// the document names its sensor itself. No reply is ever sent.
STDMETHODIMP CMarlindPlugin::ProcessDCMessageFromAgent(IUnknown* pDBConnection, BSTR /*bstrAppPath*/,
                                                       BSTR /*bstrAgentGUID*/, BSTR /*bstrAgentIPAddr*/,
                                                       BSTR /*bstrAgentHostname*/, BSTR bstrMessageType,
                                                       BSTR /*bstrOrigin*/, SAFEARRAY* psaPayload,
                                                       IMORVDCAgentUploadResponse* /*p*/) {
    if (!psaPayload) return E_POINTER;
    if (ZELKXML::EqualsIgnoringCase(bstrMessageType, marlind::kNoOpMessageType)) return S_OK;
    try {
        const ZELKDAO::ConnectionRef connection = AdoConnectionOf(pDBConnection);
        ZELKXML::ECEvent document;
        document.LoadFromPayload(psaPayload);
        marlind::RecordDocument(document, connection.Get());
    } catch (const comsupport::ComError& error) {
        // The host never learns of it: what was recorded before stays, the message counts as handled.
        ReportEndedMessage(error.Code());
    } catch (const std::bad_alloc&) {
        ReportEndedMessage(E_OUTOFMEMORY);
        return E_OUTOFMEMORY;
    } catch (...) {
        ReportEndedMessage(E_FAIL);
        return E_FAIL;
    }
    return S_OK;
}
