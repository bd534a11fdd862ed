// The class factory of one object-table row.
#pragma once
#include <windows.h>

#include "comserver/Module.h"

namespace comserver {

// Its reference count takes part in the module's lock count: going from 1 to 2
// (the first reference beyond the module's own) locks the module, falling back
// to 1 unlocks it, reaching 0 deletes the factory.
class ClassFactory final : public IClassFactory {
public:
    // The new factory holds one reference, the module's.
    static HRESULT Create(Module& module, const ObjectEntry& entry, IClassFactory** factory);

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override;
    STDMETHOD_(ULONG, AddRef)() override;
    STDMETHOD_(ULONG, Release)() override;
    STDMETHOD(CreateInstance)(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    STDMETHOD(LockServer)(BOOL fLock) override;

private:
    ClassFactory(Module& module, InstanceCreator create, Aggregation aggregation)
        : module_(module), create_(create), aggregation_(aggregation) {}
    ~ClassFactory() = default;

    Module& module_;
    InstanceCreator create_;
    Aggregation aggregation_;
    LONG refs_ = 1;
};

}  // namespace comserver
