// ADODB.Parameter and the Parameters collection of a command.
#include <adoid.h>

#include <algorithm>
#include <vector>

#include "ado/Errors.h"
#include "ado/Objects.h"
#include "ado/Parameters.h"
#include "ado/Stubs.h"
#include "com/BuiltinClasses.h"

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

class ParameterObject final : public ParameterStub,
                              public ISupportErrorInfo,
                              public IAdoParameterInternals,
                              public ReferenceCounted<ParameterObject> {
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
        case VT_BYREF | VT_I4: result.ordinal = v->plVal ? *v->plVal : -1; break;
        case VT_BYREF | VT_BSTR:
            result.byName = true;
            result.name = v->pbstrVal ? BstrView(*v->pbstrVal) : std::u16string_view();
            break;
        default: throw ItemNotFound();
    }
    return result;
}

}  // namespace wincompat::ado
