// The data-channel message handler: the COM object the host hands every
// message that an agent uploads. It keeps nothing between calls; each call
// builds and destroys its own document, records and commands, so any number
// of calls may run at once on one object.
#pragma once
#include "MarlindIds.h"
#include "comserver/Object.h"

class CMarlindPlugin : public comserver::ObjectRoot, public IMORVDCMsgHandler {
public:
    // IUnknown and IMORVDCMsgHandler only: no marshaler of its own, so COM's
    // standard marshaling applies across apartments.
    static const comserver::InterfaceEntry<CMarlindPlugin>* Interfaces();

    STDMETHOD(ProcessDCMessageFromDatabase)
    (IUnknown* pDBConnection, BSTR bstrAppPath, LONG lAutoID, LONG lLeafNodeID, BSTR bstrSource, BSTR bstrComputerName,
     BSTR bstrIPHostName, BSTR bstrIPAddress, BSTR bstrBatchUID, BSTR bstrTargetAgentGUID,
     SAFEARRAY* psaPayload) override;
    STDMETHOD(ProcessDCMessageFromAgent)
    (IUnknown* pDBConnection, BSTR bstrAppPath, BSTR bstrAgentGUID, BSTR bstrAgentIPAddr, BSTR bstrAgentHostname,
     BSTR bstrMessageType, BSTR bstrOrigin, SAFEARRAY* psaPayload, IMORVDCAgentUploadResponse* p) override;

protected:
    CMarlindPlugin() = default;
    ~CMarlindPlugin() = default;
};
