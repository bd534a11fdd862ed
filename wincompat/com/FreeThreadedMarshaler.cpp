// The free-threaded marshaler: an aggregatable object whose IMarshal hands an
// interface pointer to another apartment of the process as the pointer itself.
// Every apartment here is the one process, so only in-process contexts exist.
#include <windows.h>

#include <cstdint>
#include <new>

extern "C" {
const IID IID_IMarshal = {0x00000003, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IStream = {0x0000000c, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_ISequentialStream = {0x0c733a30, 0x2a1c, 0x11ce, {0xad, 0xe5, 0x00, 0xaa, 0x00, 0x44, 0x77, 0x3d}};
const CLSID CLSID_InProcFreeMarshaler = {0x0000033A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}

namespace {

// What MarshalInterface writes: the flags, the pointer (AddRef'd unless weak) and its IID.
struct MarshalPacket {
    DWORD flags;
    uint64_t pointer;
    IID iid;
};

bool InProcessContext(DWORD context) { return context == MSHCTX_INPROC || context == MSHCTX_CROSSCTX; }

HRESULT ReadPacket(IStream* stream, MarshalPacket& packet) {
    if (!stream) return E_INVALIDARG;
    ULONG read = 0;
    HRESULT hr = stream->Read(&packet, sizeof packet, &read);
    if (FAILED(hr)) return hr;
    return read == sizeof packet ? S_OK : HRESULT_FROM_WIN32(ERROR_HANDLE_EOF);
}

// The marshaler. Its IMarshal delegates IUnknown to the controlling object
// (the outer one when aggregated); Inner is the non-delegating IUnknown.
class FreeThreadedMarshaler final : public IMarshal {
public:
    class Inner final : public IUnknown {
    public:
        explicit Inner(FreeThreadedMarshaler& owner) : owner_(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
            if (!ppv) return E_POINTER;
            *ppv = nullptr;
            if (IsEqualGUID(riid, IID_IUnknown)) {
                *ppv = static_cast<IUnknown*>(this);
            } else if (IsEqualGUID(riid, IID_IMarshal)) {
                *ppv = static_cast<IMarshal*>(&owner_);
            } else {
                return E_NOINTERFACE;
            }
            static_cast<IUnknown*>(*ppv)->AddRef();
            return S_OK;
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&owner_.refs_)); }
        ULONG STDMETHODCALLTYPE Release() override {
            LONG refs = InterlockedDecrement(&owner_.refs_);
            if (refs == 0) delete &owner_;
            return static_cast<ULONG>(refs);
        }

    private:
        FreeThreadedMarshaler& owner_;
    };

    explicit FreeThreadedMarshaler(IUnknown* outer) : inner_(*this), outer_(outer ? outer : &inner_) {}
    IUnknown* InnerUnknown() { return &inner_; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return outer_->QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

    HRESULT STDMETHODCALLTYPE GetUnmarshalClass(REFIID, void*, DWORD dwDestContext, void*, DWORD,
                                                CLSID* pCid) override {
        if (!pCid) return E_POINTER;
        if (!InProcessContext(dwDestContext)) return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
        *pCid = CLSID_InProcFreeMarshaler;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMarshalSizeMax(REFIID, void*, DWORD dwDestContext, void*, DWORD,
                                                DWORD* pSize) override {
        if (!pSize) return E_POINTER;
        if (!InProcessContext(dwDestContext)) return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
        *pSize = sizeof(MarshalPacket);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE MarshalInterface(IStream* pStm, REFIID riid, void* pv, DWORD dwDestContext, void*,
                                               DWORD mshlflags) override {
        if (!pStm || !pv) return E_INVALIDARG;
        if (!InProcessContext(dwDestContext)) return HRESULT_FROM_WIN32(ERROR_NOT_SUPPORTED);
        IUnknown* object = nullptr;
        HRESULT hr = static_cast<IUnknown*>(pv)->QueryInterface(riid, reinterpret_cast<void**>(&object));
        if (FAILED(hr)) return hr;
        MarshalPacket packet{mshlflags, reinterpret_cast<uintptr_t>(object), riid};
        hr = pStm->Write(&packet, sizeof packet, nullptr);
        // A weak table entry holds no reference; every other packet keeps the one QueryInterface took.
        if (FAILED(hr) || (mshlflags & MSHLFLAGS_TABLEWEAK)) object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE UnmarshalInterface(IStream* pStm, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        MarshalPacket packet{};
        HRESULT hr = ReadPacket(pStm, packet);
        if (FAILED(hr)) return hr;
        auto* object = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(packet.pointer));
        if (!object) return E_UNEXPECTED;
        hr = object->QueryInterface(riid, ppv);
        // A normal packet is used once: its reference passes to the result.
        if (!(packet.flags & (MSHLFLAGS_TABLESTRONG | MSHLFLAGS_TABLEWEAK))) object->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE ReleaseMarshalData(IStream* pStm) override {
        MarshalPacket packet{};
        HRESULT hr = ReadPacket(pStm, packet);
        if (FAILED(hr)) return hr;
        auto* object = reinterpret_cast<IUnknown*>(static_cast<uintptr_t>(packet.pointer));
        if (object && !(packet.flags & MSHLFLAGS_TABLEWEAK)) object->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DisconnectObject(DWORD) override { return S_OK; }

private:
    ~FreeThreadedMarshaler() = default;
    Inner inner_;
    IUnknown* outer_;  // not AddRef'd: the outer object owns us
    LONG refs_ = 1;
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE CoCreateFreeThreadedMarshaler(LPUNKNOWN punkOuter, LPUNKNOWN* ppunkMarshal) {
    if (!ppunkMarshal) return E_INVALIDARG;
    *ppunkMarshal = nullptr;
    auto* marshaler = new (std::nothrow) FreeThreadedMarshaler(punkOuter);
    if (!marshaler) return E_OUTOFMEMORY;
    *ppunkMarshal = marshaler->InnerUnknown();  // holds the one reference
    return S_OK;
}
