// The ADO COM objects of wincompat and what they share. Each object is a
// plain C++ class over the stubs of Stubs.h, reference counted, safe to call
// from several threads (an ObjectLock per object; a connection runs one
// command at a time).
#pragma once
#include <windows.h>

#include <adoint.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string_view>
#include <vector>

#include "ado/Errors.h"
#include "ado/ObjectLock.h"
#include "ado/Session.h"
#include "ado/Values.h"
#include "common/CaseCompare.h"
#include "common/ReferenceCounted.h"

namespace wincompat::ado {

// Reaches the session behind a Connection object made here; other
// implementations of _Connection do not answer it.
extern const IID IID_IAdoConnectionInternals;
struct IAdoConnectionInternals : public IUnknown {
    // Null when the connection is closed.
    virtual std::shared_ptr<Session> CurrentSession() = 0;
};

// The session of an open Connection of ours, or null.
std::shared_ptr<Session> SessionOf(IUnknown* connection);

// Reads a Parameter made here in one call; parameters of other
// implementations do not answer it.
extern const IID IID_IAdoParameterInternals;
struct IAdoParameterInternals : public IUnknown {
    // The parameter's properties as its get_ methods give them, the name only
    // when asked for, the value converted for binding by its type.
    virtual HRESULT Snapshot(CommandParameter& out, bool withName) = 0;
};

// Class-table creators (CoCreateInstance of the ADODB classes).
HRESULT CreateConnectionObject(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateCommandObject(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateRecordsetObject(IUnknown* outer, REFIID riid, void** ppv);
HRESULT CreateParameterObject(IUnknown* outer, REFIID riid, void** ppv);

// A new open recordset over these rows, or a closed one when `rows` is null.
// Returned with one reference.
_ADORecordset* NewRecordset(std::shared_ptr<ResultSet> rows);
// A new parameter; returned with one reference. Throws AdoFailure.
_ADOParameter* NewParameter(BSTR name, const DataTypeEnum& type, const ParameterDirectionEnum& direction,
                            ADO_LONGPTR size, const VARIANT& value);

class ParametersObject;  // Parameters.h

// Runs a command's text or procedure on a session: shared by Command.Execute,
// Connection.Execute and Recordset.Open. `parameters`, null or a command's
// collection, are the command's Parameter objects. Returns the recordset
// (null with adExecuteNoRecords) and sets `recordsAffected`.
_ADORecordset* RunCommand(Session& session, const SharedText& text, CommandTypeEnum type, ParametersObject* parameters,
                          VARIANT* parameterValues, LONG options, VARIANT* recordsAffected);

// The text as an object shared with the other commands given it on this
// thread lately: the plug-ins run a few texts over and over, and a session
// finds the plan of a text object it ran lately without reading the text.
SharedText SharedCommandText(std::u16string_view text);

// Index of a collection item: a number (0-based), or a name for `name`
// lookups. Throws AdoFailure (ItemNotFound) for anything else. The name is
// read in place: it lasts as long as the VARIANT's string.
struct ItemIndex {
    bool byName = false;
    LONG ordinal = 0;
    std::u16string_view name;
};
// Names are compared by EqualsIgnoringAsciiCase (common/CaseCompare.h).
ItemIndex ReadItemIndex(const VARIANT& index);

// The value a caller passed for an enumeration, read without assuming that
// it is one of the enumeration's values (callers can pass any number).
template <class Enum>
int RawEnumValue(const Enum& value) {
    static_assert(sizeof(Enum) == sizeof(int), "enumerations are int-sized");
    int raw = 0;
    std::memcpy(&raw, &value, sizeof raw);
    return raw;
}

// QueryInterface of an ADO object: IUnknown, IDispatch and the object's own
// interfaces (`ownInterface`, the caller's test of riid) give `primary`;
// ISupportErrorInfo gives `errorInfo`; anything else is E_NOINTERFACE.
template <class Primary>
HRESULT QueryAdoObject(Primary* primary, ISupportErrorInfo* errorInfo, bool ownInterface, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || ownInterface) {
        *ppv = primary;
    } else if (riid == IID_ISupportErrorInfo) {
        *ppv = errorInfo;
    } else {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    primary->AddRef();
    return S_OK;
}

// The class-table creator's work for an ADO object: no aggregation; a new
// object made from `args`, handed out as `riid`.
template <class Object, class... Args>
HRESULT CreateAdoObject(IUnknown* outer, REFIID riid, void** ppv, Args&&... args) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    Object* object = new (std::nothrow) Object(std::forward<Args>(args)...);
    if (!object) return E_OUTOFMEMORY;
    // No other thread can see the object yet: the caller's reference is the
    // one QueryInterface adds.
    object->SetUnsharedReferences(0);
    HRESULT hr = object->QueryInterface(riid, ppv);
    if (FAILED(hr)) {
        object->SetUnsharedReferences(1);
        object->Release();
    }
    return hr;
}

// A property getter: E_POINTER for a null out-pointer, else the member as it
// stands under the object's lock.
template <class Value, class Member>
HRESULT GetUnderLock(ObjectLock& lock, const Member& member, Value* out) {
    if (!out) return E_POINTER;
    std::lock_guard<ObjectLock> guard(lock);
    *out = member;
    return S_OK;
}

// A text property getter: a new BSTR of the member, E_OUTOFMEMORY when none
// can be had.
inline HRESULT GetTextUnderLock(ObjectLock& lock, const std::u16string& member, BSTR* out) {
    if (!out) return E_POINTER;
    std::lock_guard<ObjectLock> guard(lock);
    *out = AllocBstr(member);
    return *out ? S_OK : E_OUTOFMEMORY;
}

inline HRESULT PutTextUnderLock(ObjectLock& lock, BSTR in, std::u16string& member) {
    std::u16string text = BstrText(in);  // copied before the lock is taken
    std::lock_guard<ObjectLock> guard(lock);
    member.swap(text);
    return S_OK;
}

// A setter for a count or a time that cannot be negative: a negative value is
// ADO's invalid-argument error, reported for `source` and `iid`.
template <class Value>
HRESULT PutNonNegative(ObjectLock& lock, const char16_t* source, REFIID iid, Value in, Value& member) {
    return Guarded(source, iid, [&] {
        if (in < 0) throw InvalidArgument();
        std::lock_guard<ObjectLock> guard(lock);
        member = in;
        return S_OK;
    });
}

// IUnknown's count of an ADO object, which derives from
// ReferenceCounted<itself> (common/ReferenceCounted.h): the count deletes
// the object through its private destructor.
#define WINCOMPAT_ADO_REFCOUNT                                             \
    STDMETHODIMP_(ULONG) AddRef() override { return AddReference(); }      \
    STDMETHODIMP_(ULONG) Release() override { return ReleaseReference(); } \
    template <class>                                                       \
    friend class wincompat::ReferenceCounted;

}  // namespace wincompat::ado
