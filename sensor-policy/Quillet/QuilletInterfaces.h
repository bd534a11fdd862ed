// The host's policy-handler interface, as the plug-in's type library describes
// it (Quillet.idl): a custom interface derived from IUnknown.
#pragma once
#include <windows.h>

#ifndef __IMORVAgentPolicyHandler_INTERFACE_DEFINED__
#define __IMORVAgentPolicyHandler_INTERFACE_DEFINED__
MIDL_INTERFACE("11EB44FA-4C61-47BE-84A9-AFA6716C49A2")
IMORVAgentPolicyHandler : public IUnknown {
    // In-stream policy modification before sending to agent.
    virtual HRESULT STDMETHODCALLTYPE ProcessPolicy(IUnknown * DBConnection, LONG LeafNodeID, BSTR FeatureCode,
                                                    BSTR CategoryCode, BSTR TypeCode, BSTR XMLIn,
                                                    BSTR * XMLOut) = 0;
};
#endif
