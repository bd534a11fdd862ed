// The policy-handler COM object: free-threaded (it aggregates the
// free-threaded marshaler), aggregatable, stateless between calls.
#pragma once
#include "QuilletIds.h"
#include "comserver/Object.h"

class CQuilletObj : public comserver::ObjectRoot, public IMORVAgentPolicyHandler {
public:
    static const comserver::InterfaceEntry<CQuilletObj>* Interfaces();

    HRESULT FinalConstruct();
    void FinalRelease();
    // IMarshal comes from the free-threaded marshaler.
    HRESULT QueryAggregates(REFIID riid, void** ppv);

    STDMETHOD(ProcessPolicy)
    (IUnknown* DBConnection, LONG LeafNodeID, BSTR FeatureCode, BSTR CategoryCode, BSTR TypeCode, BSTR XMLIn,
     BSTR* XMLOut) override;

protected:
    CQuilletObj() = default;
    ~CQuilletObj() = default;

private:
    CRITICAL_SECTION lock_;
    bool lockReady_ = false;
    IUnknown* freeThreadedMarshaler_ = nullptr;  // inner IUnknown of the aggregated marshaler
};
