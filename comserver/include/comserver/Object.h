// COM object lifetimes for in-process servers: the plain form, the aggregated
// form (an inner object whose non-delegating IUnknown goes to the outer object),
// and the creator that picks one.
//
// A class T derives from ObjectRoot and from its interfaces, leaves the IUnknown
// methods to these templates and lists its interfaces:
//
//   class CThing : public comserver::ObjectRoot, public IThing {
//   public:
//       static const comserver::InterfaceEntry<CThing>* Interfaces() {
//           static const comserver::InterfaceEntry<CThing> table[] = {
//               comserver::InterfaceOf<CThing, IThing>(IID_IThing), {}};
//           return table;
//       }
//       STDMETHOD(DoIt)() override;
//   };
//   ... comserver::CreateObject<CThing> is the instance creator of its row.
//
// Optional hooks that T may declare (they hide ObjectRoot's defaults):
//   HRESULT FinalConstruct();  runs once the controlling IUnknown is known
//   void FinalRelease();       runs before destruction
//   HRESULT QueryAggregates(REFIID, void**);  interfaces of aggregated helpers (the free-threaded marshaler)
#pragma once
#include <windows.h>

#include <new>

namespace comserver {

// One row of a class's interface table; an entry with a null iid ends it.
template <class T>
struct InterfaceEntry {
    const IID* iid;
    IUnknown* (*cast)(T& object);
};

template <class T, class I>
InterfaceEntry<T> InterfaceOf(const IID& iid) {
    return InterfaceEntry<T>{&iid, [](T& object) -> IUnknown* { return static_cast<I*>(&object); }};
}

// Base of every COM class of a module: holds a module lock for the object's
// whole life and knows the controlling IUnknown (the outer object when aggregated).
class ObjectRoot {
public:
    ObjectRoot(const ObjectRoot&) = delete;
    ObjectRoot& operator=(const ObjectRoot&) = delete;

    HRESULT FinalConstruct() { return S_OK; }
    void FinalRelease() {}
    HRESULT QueryAggregates(REFIID, void** ppv) {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    IUnknown* ControllingUnknown() const { return controlling_; }

protected:
    ObjectRoot();   // locks the module
    ~ObjectRoot();  // unlocks it

private:
    template <class>
    friend class ComObject;
    template <class>
    friend class ContainedObject;
    IUnknown* controlling_ = nullptr;
};

namespace detail {
// The interface pointer for riid, AddRef'd through the object's own IUnknown.
template <class T>
HRESULT QueryTable(T& object, REFIID riid, void** ppv) {
    *ppv = nullptr;
    const InterfaceEntry<T>* table = T::Interfaces();
    if (IsEqualGUID(riid, IID_IUnknown)) {
        IUnknown* identity = table[0].cast(object);
        identity->AddRef();
        *ppv = identity;
        return S_OK;
    }
    for (const InterfaceEntry<T>* entry = table; entry->iid; ++entry) {
        if (IsEqualGUID(riid, *entry->iid)) {
            IUnknown* itf = entry->cast(object);
            itf->AddRef();
            *ppv = itf;
            return S_OK;
        }
    }
    return object.QueryAggregates(riid, ppv);
}
}  // namespace detail

// The plain, non-aggregated object.
template <class T>
class ComObject final : public T {
public:
    // Creates the object and returns its riid; destroys it again on failure.
    static HRESULT Create(REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        ComObject* object = new (std::nothrow) ComObject();
        if (!object) return E_OUTOFMEMORY;
        object->controlling_ = T::Interfaces()[0].cast(*object);
        // Held at 1 during FinalConstruct so that helpers aggregated on us may AddRef/Release.
        object->refs_ = 1;
        HRESULT hr = object->FinalConstruct();
        object->refs_ = 0;
        if (SUCCEEDED(hr)) {
            object->refs_ = 1;
            hr = object->QueryInterface(riid, ppv);
            object->Release();  // the caller's reference is the one QueryInterface added
            return hr;
        }
        object->FinalRelease();
        delete object;
        return hr;
    }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        return detail::QueryTable<T>(*this, riid, ppv);
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHOD_(ULONG, Release)() override {
        LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0) {
            this->FinalRelease();
            delete this;
        }
        return static_cast<ULONG>(refs);
    }

private:
    ComObject() = default;
    ~ComObject() = default;
    LONG refs_ = 0;
};

// T inside an aggregate: every IUnknown call goes to the outer object.
template <class T>
class ContainedObject final : public T {
public:
    explicit ContainedObject(IUnknown* outer) { this->controlling_ = outer; }
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        return this->controlling_->QueryInterface(riid, ppv);
    }
    STDMETHOD_(ULONG, AddRef)() override { return this->controlling_->AddRef(); }
    STDMETHOD_(ULONG, Release)() override { return this->controlling_->Release(); }
};

// The aggregated form: an inner object with its own reference count; its
// IUnknown (the non-delegating one) is what the outer object holds.
template <class T>
class AggregatedObject final : public IUnknown {
public:
    // Only IID_IUnknown may be asked for when aggregating, as COM requires.
    static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!outer || !IsEqualGUID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
        AggregatedObject* object = new (std::nothrow) AggregatedObject(outer);
        if (!object) return E_OUTOFMEMORY;
        object->refs_ = 1;
        HRESULT hr = object->contained_.FinalConstruct();
        object->refs_ = 0;
        if (FAILED(hr)) {
            object->contained_.FinalRelease();
            delete object;
            return hr;
        }
        object->refs_ = 1;
        *ppv = static_cast<IUnknown*>(object);
        return S_OK;
    }

    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (IsEqualGUID(riid, IID_IUnknown)) {
            AddRef();
            *ppv = static_cast<IUnknown*>(this);
            return S_OK;
        }
        // Interfaces of the contained object AddRef the outer object, as aggregation requires.
        return detail::QueryTable<T>(contained_, riid, ppv);
    }
    STDMETHOD_(ULONG, AddRef)() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHOD_(ULONG, Release)() override {
        LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0) {
            contained_.FinalRelease();
            delete this;
        }
        return static_cast<ULONG>(refs);
    }

    T& Contained() { return contained_; }

private:
    explicit AggregatedObject(IUnknown* outer) : contained_(outer) {}
    ~AggregatedObject() = default;
    LONG refs_ = 0;
    ContainedObject<T> contained_;
};

// Instance creator for a module's object table: the plain object without an
// outer object, the aggregated form with one. Whether aggregation is allowed at
// all is the class factory's decision (see Aggregation in Module.h).
template <class T>
HRESULT CreateObject(IUnknown* outer, REFIID riid, void** ppv) {
    if (outer) return AggregatedObject<T>::Create(outer, riid, ppv);
    return ComObject<T>::Create(riid, ppv);
}

}  // namespace comserver
