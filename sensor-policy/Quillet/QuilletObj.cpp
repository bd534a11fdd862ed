// The policy-handler object: its interface table, the free-threaded marshaler it aggregates, and
// ProcessPolicy handed on to the policy handler.
#include "QuilletObj.h"

#include "PolicyHandler.h"

const comserver::InterfaceEntry<CQuilletObj>* CQuilletObj::Interfaces() {
    static const comserver::InterfaceEntry<CQuilletObj> table[] = {
        comserver::InterfaceOf<CQuilletObj, IMORVAgentPolicyHandler>(IID_IMORVAgentPolicyHandler), {}};
    return table;
}

HRESULT CQuilletObj::FinalConstruct() {
    InitializeCriticalSection(&lock_);
    lockReady_ = true;
    return CoCreateFreeThreadedMarshaler(ControllingUnknown(), &freeThreadedMarshaler_);
}

void CQuilletObj::FinalRelease() {
    if (freeThreadedMarshaler_) {
        freeThreadedMarshaler_->Release();
        freeThreadedMarshaler_ = nullptr;
    }
    if (lockReady_) {
        DeleteCriticalSection(&lock_);
        lockReady_ = false;
    }
}

HRESULT CQuilletObj::QueryAggregates(REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (freeThreadedMarshaler_ && IsEqualGUID(riid, quillet::kIidMarshal))
        return freeThreadedMarshaler_->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
}

// The host's identifying parameters do not change what is done with a policy.
STDMETHODIMP CQuilletObj::ProcessPolicy(IUnknown* DBConnection, LONG /*LeafNodeID*/, BSTR /*FeatureCode*/,
                                        BSTR /*CategoryCode*/, BSTR /*TypeCode*/, BSTR XMLIn, BSTR* XMLOut) {
    return quillet::ProcessPolicyText(DBConnection, XMLIn, XMLOut);
}
