// A smart reference to a COM interface: releases on every path, turns a
// failing HRESULT of a call made through it into ComError (with the object's
// error information for that interface), and raises E_POINTER when used empty.
#pragma once
#include <windows.h>

#include <utility>

#include "comsupport/ComError.h"
#include "comsupport/InterfaceId.h"

namespace comsupport {

template <typename Interface>
class ComRef {
public:
    ComRef() noexcept = default;
    // Takes a new reference to `pointer` (AddRef); use Attach to adopt one.
    explicit ComRef(Interface* pointer) noexcept : pointer_(pointer) {
        if (pointer_) pointer_->AddRef();
    }
    ComRef(const ComRef& other) noexcept : ComRef(other.pointer_) {}
    ComRef(ComRef&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComRef& operator=(ComRef other) noexcept {
        std::swap(pointer_, other.pointer_);
        return *this;
    }
    ~ComRef() { Reset(); }

    // Adopts a reference that the caller already owns.
    static ComRef Attach(Interface* owned) noexcept {
        ComRef ref;
        ref.pointer_ = owned;
        return ref;
    }

    // Activates `clsid` and asks for this interface.
    static ComRef Create(REFCLSID clsid, DWORD context = CLSCTX_INPROC_SERVER) {
        ComRef ref;
        HRESULT hr = CoCreateInstance(clsid, nullptr, context, InterfaceId<Interface>::Get(), ref.ReceiveVoid());
        Check(hr);
        return ref;
    }

    // Queries `source` for this interface; a failure raises ComError (E_POINTER for a null source).
    template <typename Other>
    static ComRef QueryFrom(Other* source) {
        if (!source) ThrowComError(E_POINTER);
        ComRef ref;
        Check(source->QueryInterface(InterfaceId<Interface>::Get(), ref.ReceiveVoid()));
        return ref;
    }

    // Queries this object for another interface.
    template <typename Other>
    ComRef<Other> As() const {
        return ComRef<Other>::QueryFrom(Checked());
    }

    // As As(), but E_NOINTERFACE gives an empty reference instead of an exception.
    template <typename Other>
    ComRef<Other> TryAs() const {
        ComRef<Other> ref;
        HRESULT hr = Checked()->QueryInterface(InterfaceId<Other>::Get(), ref.ReceiveVoid());
        if (hr != E_NOINTERFACE) Check(hr);
        return ref;
    }

    // Calls a method through the reference: Call(&IXMLDOMNode::get_text, text.Receive()).
    // A failing HRESULT raises ComError with this interface's error information.
    template <typename Method, typename... Args>
    HRESULT Call(Method method, Args&&... args) const {
        Interface* target = Checked();
        HRESULT hr = (target->*method)(std::forward<Args>(args)...);
        if (FAILED(hr)) ThrowComError(hr, target, &InterfaceId<Interface>::Get());
        return hr;
    }

    // The raw pointer, raising E_POINTER when empty.
    Interface* Checked() const {
        if (!pointer_) ThrowComError(E_POINTER);
        return pointer_;
    }
    Interface* operator->() const { return Checked(); }
    Interface* Get() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    // Releases the current reference and returns the slot for an out parameter.
    Interface** Receive() noexcept {
        Reset();
        return &pointer_;
    }
    void** ReceiveVoid() noexcept { return reinterpret_cast<void**>(Receive()); }

    Interface* Detach() noexcept { return std::exchange(pointer_, nullptr); }
    void Reset() noexcept {
        if (Interface* old = std::exchange(pointer_, nullptr)) old->Release();
    }

private:
    Interface* pointer_ = nullptr;
};

}  // namespace comsupport
