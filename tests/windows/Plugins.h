// The two plug-ins as a host knows them: their CLSIDs and the host
// interfaces, from the headers widl makes of each type library's IDL.
#pragma once
#include <windows.h>

#include <string>

#include "Quillet.h"
#include "marlind.h"

namespace windows_test {

// A controlling object for aggregation checks: it counts its references and
// hands every interface but IUnknown to the inner object it holds.
class OuterObject : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(InterlockedDecrement(&references_)); }
    LONG References() const { return references_; }
    void** InnerSlot() { return reinterpret_cast<void**>(&inner_); }
    void ReleaseInner();
    ~OuterObject() { ReleaseInner(); }

private:
    LONG references_ = 1;  // lives on the stack of the check
    IUnknown* inner_ = nullptr;
};

void CheckMarlind(const std::wstring& samplesDir, const std::wstring& statementsDir);
void CheckQuillet();

// The registration through regsvr32 and its read-back, written to
// `registryDir` in the registry-export format for the comparison with the
// Linux build; unregistration at the end.
bool RegisterPlugins(const std::wstring& marlindPath, const std::wstring& quilletPath, const std::wstring& registryDir);
void UnregisterPlugins(const std::wstring& marlindPath, const std::wstring& quilletPath);

}  // namespace windows_test
