// The host's data-channel interfaces, as the host defines them: the handler
// that a data-channel plug-in implements and the reply channel the host hands
// it with each upstream message. Custom interfaces derived from IUnknown; the
// payloads are one-dimensional SAFEARRAYs of unsigned bytes.
#pragma once
#include <windows.h>

struct IMORVDCAgentUploadResponse;

#ifndef __IMORVDCMsgHandler_INTERFACE_DEFINED__
#define __IMORVDCMsgHandler_INTERFACE_DEFINED__
MIDL_INTERFACE("84F711A9-019D-4FBB-AD3D-F28780F7FEFE")
IMORVDCMsgHandler : public IUnknown {
    // Downstream DataChannel Message processing for this plug-in.
    virtual HRESULT STDMETHODCALLTYPE ProcessDCMessageFromDatabase(
        IUnknown * pDBConnection, BSTR bstrAppPath, LONG lAutoID, LONG lLeafNodeID, BSTR bstrSource,
        BSTR bstrComputerName, BSTR bstrIPHostName, BSTR bstrIPAddress, BSTR bstrBatchUID, BSTR bstrTargetAgentGUID,
        SAFEARRAY * psaPayload) = 0;
    // Upstream DataChannel Message processing for this plug-in.
    virtual HRESULT STDMETHODCALLTYPE ProcessDCMessageFromAgent(
        IUnknown * pDBConnection, BSTR bstrAppPath, BSTR bstrAgentGUID, BSTR bstrAgentIPAddr, BSTR bstrAgentHostname,
        BSTR bstrMessageType, BSTR bstrOrigin, SAFEARRAY * psaPayload, IMORVDCAgentUploadResponse * p) = 0;
};
#endif

#ifndef __IMORVDCAgentUploadResponse_INTERFACE_DEFINED__
#define __IMORVDCAgentUploadResponse_INTERFACE_DEFINED__
MIDL_INTERFACE("41B29870-C919-4C05-8347-98903F47B8B2")
IMORVDCAgentUploadResponse : public IUnknown {
    // Adds a response message to send back to agent.
    virtual HRESULT STDMETHODCALLTYPE AddMessage(BSTR bstrMessageType, BSTR bstrOriginName,
                                                 SAFEARRAY * psaPayload) = 0;
};
#endif
