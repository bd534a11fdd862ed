// ADODB.Parameter and the Parameters collection of a command.
#include <adoid.h>

#include <algorithm>
#include <vector>

#include "ado/errors.h"
#include "ado/objects.h"
#include "ado/stubs.h"
#include "com/builtin_classes.h"

namespace wincompat::ado {

const IID IID_IAdoParameterInternals = {0x41e0854a, 0x4962, 0x4bdf, {0x82, 0x9b, 0x39, 0xb2, 0xdb, 0xec, 0x32, 0x46}};

namespace {

constexpr const char16_t* kSource = u"ADODB.Parameter";

bool IsParameterInterface(REFIID riid) { return riid == IID__Parameter || riid == IID__ADO; }

// Any number the enumeration can hold; ADO refuses types it does not know
// only when the parameter is used.
bool ValidType(const DataTypeEnum& type) {
    int t = RawEnumValue(type);
    return t >= 0 && t <= 0x3FFF;
}

bool ValidDirection(const ParameterDirectionEnum& direction) {
    int d = RawEnumValue(direction);
    return d == adParamUnknown || d == adParamInput || d == adParamOutput || d == adParamInputOutput ||
           d == adParamReturnValue;
}

class ParameterObject final : public ParameterStub, public ISupportErrorInfo, public IAdoParameterInternals {
public:
    WINCOMPAT_ADO_REFCOUNT

    ParameterObject() = default;
    // For CreateParameter, whose arguments are checked already.
    ParameterObject(BSTR name, DataTypeEnum type, ParameterDirectionEnum direction, ADO_LONGPTR size)
        : name_(BstrText(name)), type_(type), direction_(direction), size_(size) {}

    // For CreateParameter, before the object is handed out: no other
    // thread can see it yet.
    HRESULT SetFirstValue(const VARIANT& value) { return value_.CopyFrom(value); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv && riid == IID_IAdoParameterInternals) {
            *ppv = static_cast<IAdoParameterInternals*>(this);
            AddRef();
            return S_OK;
        }
        return QueryAdoObject(static_cast<_ADOParameter*>(this), this, IsParameterInterface(riid), riid, ppv);
    }
    HRESULT Snapshot(CommandParameter& out, bool withName) override {
        std::lock_guard<ObjectLock> guard(lock_);
        if (withName) out.name = name_;
        out.type = type_;
        out.direction = direction_;
        out.size = size_;
        try {
            ConvertedValue& converted = out.converted.emplace();  // converted in its place
            converted.vt = value_.ref().vt;
            converted.hr = ToDbValue(value_.ref(), type_, converted.value, converted.error);
            return S_OK;
        } catch (const std::bad_alloc&) {
            // Left to the command, which fails as it does for any other value.
            out.converted.reset();
            return value_.CopyTo(out.value.get());
        }
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsParameterInterface(riid) ? S_OK : S_FALSE;
    }

    STDMETHODIMP get_Name(BSTR* pbstr) override { return GetTextUnderLock(lock_, name_, pbstr); }
    STDMETHODIMP put_Name(BSTR bstr) override { return PutTextUnderLock(lock_, bstr, name_); }
    STDMETHODIMP get_Value(VARIANT* pvar) override {
        if (!pvar) return E_POINTER;
        std::lock_guard<ObjectLock> guard(lock_);
        return value_.CopyTo(pvar);
    }
    STDMETHODIMP put_Value(VARIANT val) override {
        std::lock_guard<ObjectLock> guard(lock_);
        return value_.CopyFrom(val);
    }
    STDMETHODIMP get_Type(DataTypeEnum* psDataType) override { return GetUnderLock(lock_, type_, psDataType); }
    STDMETHODIMP put_Type(DataTypeEnum sDataType) override {
        return Guarded(kSource, IID__Parameter, [&] {
            if (!ValidType(sDataType)) throw InvalidArgument();
            std::lock_guard<ObjectLock> guard(lock_);
            type_ = sDataType;
            return S_OK;
        });
    }
    STDMETHODIMP put_Direction(ParameterDirectionEnum direction) override {
        return Guarded(kSource, IID__Parameter, [&] {
            if (!ValidDirection(direction)) throw InvalidArgument();
            std::lock_guard<ObjectLock> guard(lock_);
            direction_ = direction;
            return S_OK;
        });
    }
    STDMETHODIMP get_Direction(ParameterDirectionEnum* plParmDirection) override {
        return GetUnderLock(lock_, direction_, plParmDirection);
    }
    STDMETHODIMP put_Precision(BYTE b) override {
        std::lock_guard<ObjectLock> guard(lock_);
        precision_ = b;
        return S_OK;
    }
    STDMETHODIMP get_Precision(BYTE* pb) override { return GetUnderLock(lock_, precision_, pb); }
    STDMETHODIMP put_NumericScale(BYTE b) override {
        std::lock_guard<ObjectLock> guard(lock_);
        scale_ = b;
        return S_OK;
    }
    STDMETHODIMP get_NumericScale(BYTE* pb) override { return GetUnderLock(lock_, scale_, pb); }
    STDMETHODIMP put_Size(ADO_LONGPTR l) override { return PutNonNegative(lock_, kSource, IID__Parameter, l, size_); }
    STDMETHODIMP get_Size(ADO_LONGPTR* pl) override { return GetUnderLock(lock_, size_, pl); }
    STDMETHODIMP get_Attributes(LONG* pl) override { return GetUnderLock(lock_, attributes_, pl); }
    STDMETHODIMP put_Attributes(LONG l) override {
        std::lock_guard<ObjectLock> guard(lock_);
        attributes_ = l;
        return S_OK;
    }

private:
    ~ParameterObject() = default;

    ObjectLock lock_;
    std::u16string name_;
    DataTypeEnum type_ = adEmpty;
    ParameterDirectionEnum direction_ = adParamInput;
    ADO_LONGPTR size_ = 0;
    BYTE precision_ = 0;
    BYTE scale_ = 0;
    LONG attributes_ = adParamNullable;
    VariantHolder value_;
};

bool IsParametersInterface(REFIID riid) {
    return riid == IID_Parameters || riid == IID__ADODynaCollection || riid == IID__ADOCollection;
}

class ParametersObject final : public ParametersStub, public ISupportErrorInfo {
public:
    WINCOMPAT_ADO_REFCOUNT

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return QueryAdoObject(static_cast<ADOParameters*>(this), this, IsParametersInterface(riid), riid, ppv);
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsParametersInterface(riid) ? S_OK : S_FALSE;
    }

    STDMETHODIMP get_Count(LONG* c) override {
        if (!c) return E_POINTER;
        std::lock_guard<ObjectLock> guard(lock_);
        *c = static_cast<LONG>(items_.size());
        return S_OK;
    }
    STDMETHODIMP Refresh() override { return S_OK; }

    STDMETHODIMP Append(IDispatch* Object) override {
        return Guarded(u"ADODB.Parameters", IID_Parameters, [&] {
            if (!Object) throw InvalidArgument();
            _ADOParameter* parameter = nullptr;
            if (FAILED(Object->QueryInterface(IID__Parameter, reinterpret_cast<void**>(&parameter))) || !parameter)
                throw AdoFailure{adErrInvalidArgument, u"The object appended to Parameters is not a Parameter."};
            // One of ours is known as such once, here, not on every run.
            IAdoParameterInternals* internals = nullptr;
            if (SUCCEEDED(parameter->QueryInterface(IID_IAdoParameterInternals, reinterpret_cast<void**>(&internals))) &&
                internals)
                internals->Release();  // the item's own reference keeps it
            std::lock_guard<ObjectLock> guard(lock_);
            for (const Item& existing : items_) {
                if (existing.parameter == parameter) {
                    parameter->Release();
                    throw AdoFailure{adErrObjectInCollection,
                                     u"Object is already in collection. Cannot append."};
                }
            }
            items_.push_back(Item{parameter, internals});  // keeps the reference QueryInterface added
            return S_OK;
        });
    }

    STDMETHODIMP Delete(VARIANT Index) override {
        return Guarded(u"ADODB.Parameters", IID_Parameters, [&] {
            std::lock_guard<ObjectLock> guard(lock_);
            size_t at = Find(Index);
            items_[at].parameter->Release();
            items_.erase(at);
            return S_OK;
        });
    }

    void AppendItemsTo(std::vector<_ADOParameter*>& items) {
        std::lock_guard<ObjectLock> guard(lock_);
        items.reserve(items.size() + items_.size());  // the only step that can fail
        for (const Item& item : items_) {
            item.parameter->AddRef();
            items.push_back(item.parameter);
        }
    }

    // Under the collection's lock, so that no item can go while it is read:
    // our parameters' Snapshot calls nothing outside the parameter.
    bool SnapshotOwnItems(bool withNames, std::vector<CommandParameter>& list) {
        std::lock_guard<ObjectLock> guard(lock_);
        for (const Item& item : items_)
            if (!item.internals) return false;
        list.resize(items_.size());
        for (size_t i = 0; i < items_.size(); ++i) Check(items_[i].internals->Snapshot(list[i], withNames));
        return true;
    }

    STDMETHODIMP get_Item(VARIANT Index, _ADOParameter** ppvObject) override {
        return Guarded(u"ADODB.Parameters", IID_Parameters, [&] {
            if (!ppvObject) return E_POINTER;
            *ppvObject = nullptr;
            std::lock_guard<ObjectLock> guard(lock_);
            _ADOParameter* item = items_[Find(Index)].parameter;
            item->AddRef();
            *ppvObject = item;
            return S_OK;
        });
    }

private:
    ~ParametersObject() {
        for (const Item& item : items_) item.parameter->Release();
    }

    // Called with the lock held.
    size_t Find(const VARIANT& index) {
        ItemIndex i = ReadItemIndex(index);
        if (!i.byName) {
            if (i.ordinal < 0 || static_cast<size_t>(i.ordinal) >= items_.size()) throw ItemNotFound();
            return static_cast<size_t>(i.ordinal);
        }
        for (size_t k = 0; k < items_.size(); ++k) {
            BSTR name = nullptr;
            if (SUCCEEDED(items_[k].parameter->get_Name(&name))) {
                bool same = SameNameNoCase(BstrView(name), i.name);
                SysFreeString(name);
                if (same) return k;
            }
        }
        throw ItemNotFound();
    }

    struct Item {
        _ADOParameter* parameter;           // with the collection's reference
        IAdoParameterInternals* internals;  // the same object when it is one of ours, else null
    };
    // The items in order; the first few inside the collection itself, as
    // commands mostly take a few parameters. Once they outgrow that room,
    // all of them are on the heap.
    class ItemList {
    public:
        size_t size() const { return size_; }
        bool empty() const { return size_ == 0; }
        Item& operator[](size_t i) { return data()[i]; }
        const Item* begin() const { return heap_.empty() ? inline_ : heap_.data(); }
        const Item* end() const { return begin() + size_; }
        void push_back(const Item& item) {
            if (size_ == kInline && heap_.empty()) heap_.assign(inline_, inline_ + kInline);
            if (heap_.empty())
                inline_[size_] = item;
            else
                heap_.push_back(item);
            ++size_;
        }
        void erase(size_t at) {
            Item* items = data();
            std::move(items + at + 1, items + size_, items + at);
            --size_;
            if (!heap_.empty()) heap_.pop_back();
        }

    private:
        static constexpr size_t kInline = 4;
        Item* data() { return heap_.empty() ? inline_ : heap_.data(); }
        size_t size_ = 0;
        Item inline_[kInline] = {};
        std::vector<Item> heap_;  // holds every item, or none
    };
    ObjectLock lock_;
    ItemList items_;
};

const BuiltinClassRegistration kParameterClass(CLSID_Parameter, {u"ADODB.Parameter", u"ADODB.Parameter.6.0"},
                                               &CreateParameterObject);

}  // namespace

HRESULT CreateParameterObject(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateAdoObject<ParameterObject>(outer, riid, ppv);
}

_ADOParameter* NewParameter(BSTR name, const DataTypeEnum& type, const ParameterDirectionEnum& direction,
                            ADO_LONGPTR size, const VARIANT& value) {
    if (!ValidDirection(direction) || !ValidType(type) || size < 0) throw InvalidArgument();
    ParameterObject* object = new ParameterObject(name, type, direction, size);
    HRESULT hr = object->SetFirstValue(value);
    if (FAILED(hr)) {
        object->Release();
        throw AdoFailure{hr, u"The parameter value cannot be copied."};
    }
    return object;
}

ADOParameters* NewParametersCollection() { return new ParametersObject(); }

void ParameterItems(ADOParameters* collection, std::vector<_ADOParameter*>& items) {
    static_cast<ParametersObject*>(collection)->AppendItemsTo(items);
}

bool SnapshotOwnParameters(ADOParameters* collection, bool withNames, std::vector<CommandParameter>& list) {
    return static_cast<ParametersObject*>(collection)->SnapshotOwnItems(withNames, list);
}

ItemIndex ReadItemIndex(const VARIANT& index) {
    ItemIndex result;
    const VARIANT* v = &index;
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
    switch (v->vt) {
        case VT_I1: result.ordinal = v->cVal; break;
        case VT_UI1: result.ordinal = v->bVal; break;
        case VT_I2: result.ordinal = v->iVal; break;
        case VT_UI2: result.ordinal = v->uiVal; break;
        case VT_I4: result.ordinal = v->lVal; break;
        case VT_UI4: result.ordinal = static_cast<LONG>(v->ulVal); break;
        case VT_INT: result.ordinal = v->intVal; break;
        case VT_UINT: result.ordinal = static_cast<LONG>(v->uintVal); break;
        case VT_I8: result.ordinal = static_cast<LONG>(v->llVal); break;
        case VT_R8: result.ordinal = static_cast<LONG>(v->dblVal); break;
        case VT_BSTR:
            result.byName = true;
            result.name = BstrView(v->bstrVal);
            break;
        case VT_BYREF | VT_I4:
            result.ordinal = v->plVal ? *v->plVal : -1;
            break;
        case VT_BYREF | VT_BSTR:
            result.byName = true;
            result.name = v->pbstrVal ? BstrView(*v->pbstrVal) : std::u16string_view();
            break;
        default:
            throw ItemNotFound();
    }
    return result;
}

}  // namespace wincompat::ado
