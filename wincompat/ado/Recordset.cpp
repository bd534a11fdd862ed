// ADODB.Recordset with its Fields and Field objects: a read-only, static
// recordset over the rows that a command returned (read on from the
// database as they are asked for, see ResultSet).
#include <adoid.h>

#include "ado/Errors.h"
#include "ado/Objects.h"
#include "ado/Stubs.h"
#include "com/BuiltinClasses.h"

namespace wincompat::ado {
namespace {

constexpr const char16_t* kSource = u"ADODB.Recordset";

bool IsRecordsetInterface(REFIID riid) {
    return riid == IID__Recordset || riid == IID__Recordset_ADO6 || riid == IID_Recordset21 ||
           riid == IID_Recordset21_ADO6 || riid == IID_Recordset20 || riid == IID_Recordset20_ADO6 ||
           riid == IID_Recordset15 || riid == IID_Recordset15_ADO6 || riid == IID__ADO;
}

bool IsFieldInterface(REFIID riid) { return riid == IID_Field || riid == IID_Field20 || riid == IID__ADO; }

bool IsFieldsInterface(REFIID riid) {
    return riid == IID_Fields || riid == IID_Fields20 || riid == IID_Fields15 || riid == IID__ADOCollection;
}

// A property whose value never changes for these read-only, static recordsets.
template <class Value, class Fixed>
HRESULT GetFixed(Value* out, Fixed value) {
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
}

AdoFailure NotUpdatable() {
    return {adErrFeatureNotAvailable,
            u"Current Recordset does not support updating. This may be a limitation of "
            u"the provider, or of the selected locktype."};
}

class RecordsetObject final : public RecordsetStub, public ISupportErrorInfo, public ReferenceCounted<RecordsetObject> {
public:
    WINCOMPAT_ADO_REFCOUNT

    explicit RecordsetObject(std::shared_ptr<ResultSet> rows) : rows_(std::move(rows)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return QueryAdoObject(static_cast<_ADORecordset*>(this), this, IsRecordsetInterface(riid), riid, ppv);
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsRecordsetInterface(riid) || riid == IID_Fields || riid == IID_Field ? S_OK : S_FALSE;
    }

    STDMETHODIMP get_State(LONG* plObjState) override {
        if (!plObjState) return E_POINTER;
        std::lock_guard<ObjectLock> guard(lock_);
        *plObjState = rows_ ? adStateOpen : adStateClosed;
        return S_OK;
    }

    STDMETHODIMP get_EOF(VARIANT_BOOL* pb) override {
        return Guarded(kSource, IID__Recordset, [&] {
            if (!pb) return E_POINTER;
            std::lock_guard<ObjectLock> guard(lock_);
            *pb = Rows().HasRow(position_) ? VARIANT_FALSE : VARIANT_TRUE;
            return S_OK;
        });
    }

    STDMETHODIMP get_BOF(VARIANT_BOOL* pb) override {
        return Guarded(kSource, IID__Recordset, [&] {
            if (!pb) return E_POINTER;
            std::lock_guard<ObjectLock> guard(lock_);
            *pb = (!Rows().HasRow(0) || beforeFirst_) ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        });
    }

    STDMETHODIMP get_RecordCount(ADO_LONGPTR* pl) override {
        return Guarded(kSource, IID__Recordset, [&] {
            if (!pl) return E_POINTER;
            std::lock_guard<ObjectLock> guard(lock_);
            *pl = static_cast<ADO_LONGPTR>(Rows().RowCount());
            return S_OK;
        });
    }

    STDMETHODIMP MoveNext() override {
        return Guarded(kSource, IID__Recordset, [&] {
            std::lock_guard<ObjectLock> guard(lock_);
            if (!Rows().HasRow(position_)) throw NoCurrentRecord();
            if (beforeFirst_) {
                beforeFirst_ = false;
            } else {
                ++position_;
            }
            return S_OK;
        });
    }

    STDMETHODIMP MovePrevious() override {
        return Guarded(kSource, IID__Recordset, [&] {
            std::lock_guard<ObjectLock> guard(lock_);
            Rows();
            if (beforeFirst_) throw NoCurrentRecord();
            if (position_ == 0) {
                beforeFirst_ = true;  // BOF
            } else {
                --position_;
            }
            return S_OK;
        });
    }

    STDMETHODIMP MoveFirst() override {
        return Guarded(kSource, IID__Recordset, [&] {
            std::lock_guard<ObjectLock> guard(lock_);
            Rows();
            position_ = 0;
            beforeFirst_ = false;
            return S_OK;
        });
    }

    STDMETHODIMP MoveLast() override {
        return Guarded(kSource, IID__Recordset, [&] {
            std::lock_guard<ObjectLock> guard(lock_);
            if (!Rows().HasRow(0)) throw NoCurrentRecord();
            position_ = Rows().RowCount() - 1;
            beforeFirst_ = false;
            return S_OK;
        });
    }

    STDMETHODIMP get_Collect(VARIANT Index, VARIANT* pvar) override {
        return Guarded(kSource, IID__Recordset, [&] {
            if (!pvar) return E_POINTER;
            std::lock_guard<ObjectLock> guard(lock_);
            return CurrentValue(Ordinal(Index), pvar);
        });
    }

    STDMETHODIMP put_Collect(VARIANT, VARIANT) override {
        return Guarded(kSource, IID__Recordset, []() -> HRESULT { throw NotUpdatable(); });
    }

    STDMETHODIMP get_Fields(ADOFields** ppvObject) override;

    STDMETHODIMP Close() override {
        return Guarded(kSource, IID__Recordset, [&] {
            std::lock_guard<ObjectLock> guard(lock_);
            Rows();
            rows_.reset();
            position_ = 0;
            beforeFirst_ = false;
            return S_OK;
        });
    }

    STDMETHODIMP Open(VARIANT Source, VARIANT ActiveConnection, CursorTypeEnum, LockTypeEnum, LONG Options) override {
        return Guarded(kSource, IID__Recordset, [&] {
            {
                std::lock_guard<ObjectLock> guard(lock_);
                if (rows_) throw ObjectOpen();
            }
            if (Source.vt != VT_BSTR) throw InvalidArgument();
            std::shared_ptr<Session> session;
            if (ActiveConnection.vt == VT_DISPATCH || ActiveConnection.vt == VT_UNKNOWN)
                session = SessionOf(ActiveConnection.vt == VT_DISPATCH ? ActiveConnection.pdispVal
                                                                       : ActiveConnection.punkVal);
            if (!session) throw InvalidConnection();
            LONG typeBits = Options == adCmdUnspecified ? 0 : (Options & 0x30F);
            CommandTypeEnum type = typeBits ? static_cast<CommandTypeEnum>(typeBits) : adCmdText;
            _ADORecordset* result = RunCommand(*session, SharedCommandText(BstrView(Source.bstrVal)), type, nullptr,
                                               nullptr, adOptionUnspecified, nullptr);
            RecordsetObject* other = static_cast<RecordsetObject*>(result);
            std::shared_ptr<ResultSet> rows = other ? other->rows_ : nullptr;
            if (result) result->Release();
            std::lock_guard<ObjectLock> guard(lock_);
            rows_ = std::move(rows);
            position_ = 0;
            beforeFirst_ = false;
            return S_OK;
        });
    }

    STDMETHODIMP NextRecordset(VARIANT* RecordsAffected, _ADORecordset** ppiRs) override {
        // Only a batch's first result set is kept: there is never a next one.
        if (RecordsAffected) {
            VariantClear(RecordsAffected);
            RecordsAffected->vt = VT_I4;
            RecordsAffected->lVal = -1;
        }
        if (ppiRs) *ppiRs = nullptr;
        return S_OK;
    }

    STDMETHODIMP Supports(CursorOptionEnum CursorOptions, VARIANT_BOOL* pb) override {
        if (!pb) return E_POINTER;
        *pb = (CursorOptions & ~(adMovePrevious | adApproxPosition)) == 0 ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    STDMETHODIMP get_CursorType(CursorTypeEnum* p) override { return GetFixed(p, adOpenStatic); }
    STDMETHODIMP get_LockType(LockTypeEnum* p) override { return GetFixed(p, adLockReadOnly); }
    STDMETHODIMP get_CursorLocation(CursorLocationEnum* p) override { return GetFixed(p, adUseClient); }
    STDMETHODIMP Cancel() override { return S_OK; }

    // For the Fields and Field objects.
    LONG FieldCount() {
        std::lock_guard<ObjectLock> guard(lock_);
        return static_cast<LONG>(Rows().columns().size());
    }
    size_t FieldOrdinal(const VARIANT& index) {
        std::lock_guard<ObjectLock> guard(lock_);
        return Ordinal(index);
    }
    ResultColumn Column(size_t ordinal) {
        std::lock_guard<ObjectLock> guard(lock_);
        const ResultSet& rows = Rows();
        if (ordinal >= rows.columns().size()) throw ItemNotFound();
        return rows.columns()[ordinal];
    }
    HRESULT FieldValue(size_t ordinal, VARIANT* out) {
        std::lock_guard<ObjectLock> guard(lock_);
        return CurrentValue(ordinal, out);
    }

private:
    ~RecordsetObject() = default;

    ResultSet& Rows() const {
        if (!rows_) throw ObjectClosed();
        return *rows_;
    }

    size_t Ordinal(const VARIANT& index) const {
        const ResultSet& rows = Rows();
        ItemIndex i = ReadItemIndex(index);
        if (!i.byName) {
            if (i.ordinal < 0 || static_cast<size_t>(i.ordinal) >= rows.columns().size()) throw ItemNotFound();
            return static_cast<size_t>(i.ordinal);
        }
        for (size_t c = 0; c < rows.columns().size(); ++c)
            if (EqualsIgnoringAsciiCase(rows.columns()[c].name, i.name)) return c;
        throw ItemNotFound();
    }

    HRESULT CurrentValue(size_t ordinal, VARIANT* out) const {
        ResultSet& rows = Rows();
        if (ordinal >= rows.columns().size()) throw ItemNotFound();
        if (beforeFirst_ || !rows.HasRow(position_)) throw NoCurrentRecord();
        return rows.CopyTo(position_, ordinal, out);
    }

    ObjectLock lock_;
    std::shared_ptr<ResultSet> rows_;
    size_t position_ = 0;
    bool beforeFirst_ = false;
};

class FieldObject final : public FieldStub, public ISupportErrorInfo, public ReferenceCounted<FieldObject> {
public:
    WINCOMPAT_ADO_REFCOUNT

    FieldObject(RecordsetObject* recordset, size_t ordinal) : recordset_(recordset), ordinal_(ordinal) {
        recordset_->AddRef();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return QueryAdoObject(static_cast<ADOField*>(this), this, IsFieldInterface(riid), riid, ppv);
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == IID_Field || riid == IID_Field20 ? S_OK : S_FALSE;
    }

    STDMETHODIMP get_Name(BSTR* pbstr) override {
        return Guarded(u"ADODB.Field", IID_Field, [&] {
            if (!pbstr) return E_POINTER;
            *pbstr = AllocBstr(recordset_->Column(ordinal_).name);
            return *pbstr ? S_OK : E_OUTOFMEMORY;
        });
    }
    STDMETHODIMP get_Type(DataTypeEnum* pDataType) override {
        return Guarded(u"ADODB.Field", IID_Field, [&] {
            if (!pDataType) return E_POINTER;
            DataTypeEnum type = recordset_->Column(ordinal_).type;
            *pDataType = type == adEmpty ? adVariant : type;
            return S_OK;
        });
    }
    STDMETHODIMP get_Value(VARIANT* pvar) override {
        return Guarded(u"ADODB.Field", IID_Field, [&] {
            if (!pvar) return E_POINTER;
            return recordset_->FieldValue(ordinal_, pvar);
        });
    }
    STDMETHODIMP get_OriginalValue(VARIANT* pvar) override { return get_Value(pvar); }
    STDMETHODIMP get_UnderlyingValue(VARIANT* pvar) override { return get_Value(pvar); }
    STDMETHODIMP put_Value(VARIANT) override {
        return Guarded(u"ADODB.Field", IID_Field, []() -> HRESULT { throw NotUpdatable(); });
    }
    STDMETHODIMP get_Attributes(LONG* pl) override {
        return GetFixed(pl, adFldIsNullable | adFldMayBeNull | adFldUnknownUpdatable);
    }
    STDMETHODIMP get_Precision(BYTE* p) override { return GetFixed(p, 0); }
    STDMETHODIMP get_NumericScale(BYTE* p) override { return GetFixed(p, 0); }
    STDMETHODIMP get_Status(LONG* p) override { return GetFixed(p, adFieldOK); }

private:
    ~FieldObject() { recordset_->Release(); }

    RecordsetObject* recordset_;
    size_t ordinal_;
};

class FieldsObject final : public FieldsStub, public ISupportErrorInfo, public ReferenceCounted<FieldsObject> {
public:
    WINCOMPAT_ADO_REFCOUNT

    explicit FieldsObject(RecordsetObject* recordset) : recordset_(recordset) { recordset_->AddRef(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return QueryAdoObject(static_cast<ADOFields*>(this), this, IsFieldsInterface(riid), riid, ppv);
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == IID_Fields || riid == IID_Fields20 || riid == IID_Fields15 ? S_OK : S_FALSE;
    }

    STDMETHODIMP get_Count(LONG* c) override {
        return Guarded(u"ADODB.Fields", IID_Fields, [&] {
            if (!c) return E_POINTER;
            *c = recordset_->FieldCount();
            return S_OK;
        });
    }
    STDMETHODIMP Refresh() override { return S_OK; }
    STDMETHODIMP get_Item(VARIANT Index, ADOField** ppvObject) override {
        return Guarded(u"ADODB.Fields", IID_Fields, [&] {
            if (!ppvObject) return E_POINTER;
            *ppvObject = new FieldObject(recordset_, recordset_->FieldOrdinal(Index));
            return S_OK;
        });
    }

private:
    ~FieldsObject() { recordset_->Release(); }

    RecordsetObject* recordset_;
};

STDMETHODIMP RecordsetObject::get_Fields(ADOFields** ppvObject) {
    return Guarded(kSource, IID__Recordset, [&] {
        if (!ppvObject) return E_POINTER;
        *ppvObject = new FieldsObject(this);
        return S_OK;
    });
}

const BuiltinClassRegistration kRecordsetClass(CLSID_Recordset, {u"ADODB.Recordset", u"ADODB.Recordset.6.0"},
                                               &CreateRecordsetObject);

}  // namespace

HRESULT CreateRecordsetObject(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateAdoObject<RecordsetObject>(outer, riid, ppv, nullptr);
}

_ADORecordset* NewRecordset(std::shared_ptr<ResultSet> rows) { return new RecordsetObject(std::move(rows)); }

}  // namespace wincompat::ado
