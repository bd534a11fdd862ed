// ADODB.Command: text or stored-procedure commands with positional
// parameters, run on the session of the active connection.
#include <adoid.h>

#include "ado/Errors.h"
#include "ado/Objects.h"
#include "ado/Parameters.h"
#include "ado/Stubs.h"
#include "com/BuiltinClasses.h"

namespace wincompat::ado {
namespace {

constexpr const char16_t* kSource = u"ADODB.Command";

bool IsCommandInterface(REFIID riid) {
    return riid == IID__Command || riid == IID__Command_ADO6 || riid == IID_Command25 || riid == IID_Command25_ADO6 ||
           riid == IID_Command15 || riid == IID_Command15_ADO6 || riid == IID__ADO;
}

bool ValidCommandType(const CommandTypeEnum& value) {
    int type = RawEnumValue(value);
    return type == adCmdUnspecified || type == adCmdUnknown || type == adCmdText || type == adCmdTable ||
           type == adCmdStoredProc || type == adCmdFile || type == adCmdTableDirect;
}

// Reads one parameter into `p`: one of ours at once, any other through its
// interface (parameters appended to a command need not be ours). The name
// serves only the statement log.
void ReadParameter(_ADOParameter* parameter, bool withName, CommandParameter& p) {
    IAdoParameterInternals* internals = nullptr;
    if (SUCCEEDED(parameter->QueryInterface(IID_IAdoParameterInternals, reinterpret_cast<void**>(&internals))) &&
        internals) {
        HRESULT hr = internals->Snapshot(p, withName);
        internals->Release();
        Check(hr);
        return;
    }
    BSTR name = nullptr;
    Check(parameter->get_Name(&name));
    p.name = BstrText(name);
    SysFreeString(name);
    Check(parameter->get_Type(&p.type));
    Check(parameter->get_Direction(&p.direction));
    Check(parameter->get_Size(&p.size));
    Check(parameter->get_Value(p.value.get()));
}

// The values of Execute's Parameters argument: a VARIANT array.
std::vector<VariantHolder> ReadValueArray(const VARIANT* values) {
    std::vector<VariantHolder> result;
    if (!values || values->vt == VT_EMPTY || values->vt == VT_NULL || values->vt == VT_ERROR) return result;
    if (values->vt != (VT_ARRAY | VT_VARIANT) || !values->parray || SafeArrayGetDim(values->parray) != 1)
        throw InvalidArgument();
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(values->parray, 1, &lower);
    SafeArrayGetUBound(values->parray, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        VariantHolder element;
        LONG at = i;
        Check(SafeArrayGetElement(values->parray, &at, element.get()));
        result.push_back(element);
    }
    return result;
}

// The command texts last put on this thread, shared by every command that
// is given one of them again: the plug-ins make a new command for each
// statement, with one of a few texts. The texts never change once made, so
// commands on any thread may share them, and outlive the thread.
class RecentTexts {
public:
    std::shared_ptr<const std::u16string> Share(std::u16string_view text) {
        for (const std::shared_ptr<const std::u16string>& kept : texts_)
            if (kept && kept->size() == text.size() &&
                std::memcmp(kept->data(), text.data(), text.size() * sizeof(char16_t)) == 0)
                return kept;
        auto made = std::make_shared<const std::u16string>(text);
        if (text.size() <= kLongestKept) {
            texts_[next_] = made;
            next_ = (next_ + 1) % kKept;
        }
        return made;
    }

private:
    static constexpr size_t kKept = 8;
    static constexpr size_t kLongestKept = 4096;  // longer ones are not held on to after use
    std::shared_ptr<const std::u16string> texts_[kKept];
    size_t next_ = 0;
};

}  // namespace

SharedText SharedCommandText(std::u16string_view text) {
    thread_local RecentTexts recent;
    return recent.Share(text);
}

namespace {

class CommandObject final : public CommandStub, public ISupportErrorInfo, public ReferenceCounted<CommandObject> {
public:
    WINCOMPAT_ADO_REFCOUNT

    CommandObject() : parameters_(static_cast<_ADOCommand*>(this)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        return QueryAdoObject(static_cast<_ADOCommand*>(this), this, IsCommandInterface(riid), riid, ppv);
    }
    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override { return IsCommandInterface(riid) ? S_OK : S_FALSE; }

    STDMETHODIMP get_ActiveConnection(_ADOConnection** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        std::lock_guard<ObjectLock> guard(lock_);
        *ppvObject = connection_;
        if (connection_) connection_->AddRef();
        return S_OK;
    }

    STDMETHODIMP putref_ActiveConnection(_ADOConnection* pCon) override {
        SetConnection(pCon);
        return S_OK;
    }

    STDMETHODIMP put_ActiveConnection(VARIANT vConn) override {
        return Guarded(kSource, IID__Command, [&] {
            const VARIANT* v = &vConn;
            if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal) v = v->pvarVal;
            if (v->vt == VT_EMPTY || v->vt == VT_NULL) {
                SetConnection(nullptr);
                return S_OK;
            }
            if (v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) {
                IUnknown* unknown = v->vt == VT_DISPATCH ? v->pdispVal : v->punkVal;
                _ADOConnection* connection = nullptr;
                if (!unknown || FAILED(unknown->QueryInterface(IID__Connection, reinterpret_cast<void**>(&connection))))
                    throw InvalidConnection();
                SetConnection(connection);
                connection->Release();
                return S_OK;
            }
            if (v->vt == VT_BSTR) {  // a connection string: ADO opens a connection of its own
                _ADOConnection* connection = nullptr;
                Check(CreateConnectionObject(nullptr, IID__Connection, reinterpret_cast<void**>(&connection)));
                HRESULT hr = connection->Open(v->bstrVal, nullptr, nullptr, adConnectUnspecified);
                if (FAILED(hr)) {
                    connection->Release();
                    return hr;  // Open has set the error information
                }
                SetConnection(connection);
                connection->Release();
                return S_OK;
            }
            throw InvalidArgument();
        });
    }

    STDMETHODIMP get_CommandText(BSTR* pbstr) override {
        if (!pbstr) return E_POINTER;
        std::lock_guard<ObjectLock> guard(lock_);
        *pbstr = AllocBstr(text_ ? std::u16string_view(*text_) : std::u16string_view());
        return *pbstr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP put_CommandText(BSTR bstr) override {
        return Guarded(kSource, IID__Command, [&] {
            std::shared_ptr<const std::u16string> text = SharedCommandText(BstrView(bstr));
            std::lock_guard<ObjectLock> guard(lock_);
            text_.swap(text);
            return S_OK;
        });
    }
    STDMETHODIMP get_CommandTimeout(LONG* pl) override { return GetUnderLock(lock_, timeout_, pl); }
    STDMETHODIMP put_CommandTimeout(LONG Timeout) override {
        return PutNonNegative(lock_, kSource, IID__Command, Timeout, timeout_);
    }
    STDMETHODIMP get_Prepared(VARIANT_BOOL* pf) override { return GetUnderLock(lock_, prepared_, pf); }
    // Every statement is prepared once per connection anyway (see Session.h).
    STDMETHODIMP put_Prepared(VARIANT_BOOL f) override {
        std::lock_guard<ObjectLock> guard(lock_);
        prepared_ = f ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }

    STDMETHODIMP Execute(VARIANT* RecordsAffected, VARIANT* Parameters, LONG Options, _ADORecordset** ppirs) override {
        return Guarded(kSource, IID__Command, [&] {
            if (ppirs) *ppirs = nullptr;
            std::shared_ptr<const std::u16string> text;  // shared: the text is not copied for each run
            CommandTypeEnum type;
            std::shared_ptr<Session> session;
            {
                std::lock_guard<ObjectLock> guard(lock_);
                if (internals_) session = internals_->CurrentSession();
                text = text_;
                type = type_;
            }
            if (!session) throw InvalidConnection();
            if (Options != adOptionUnspecified && (Options & 0x30F))
                type = static_cast<CommandTypeEnum>(Options & 0x30F);
            _ADORecordset* recordset =
                RunCommand(*session, text, type, &parameters_, Parameters, Options, RecordsAffected);
            if (ppirs) {
                *ppirs = recordset;
            } else if (recordset) {
                recordset->Release();
            }
            return S_OK;
        });
    }

    STDMETHODIMP CreateParameter(BSTR Name, DataTypeEnum Type, ParameterDirectionEnum Direction, ADO_LONGPTR Size,
                                 VARIANT Value, _ADOParameter** ppiprm) override {
        return Guarded(kSource, IID__Command, [&] {
            if (!ppiprm) return E_POINTER;
            *ppiprm = NewParameter(Name, Type, Direction, Size, Value);
            return S_OK;
        });
    }

    STDMETHODIMP get_Parameters(ADOParameters** ppvObject) override {
        if (!ppvObject) return E_POINTER;
        parameters_.AddRef();
        *ppvObject = &parameters_;
        return S_OK;
    }

    STDMETHODIMP put_CommandType(CommandTypeEnum lCmdType) override {
        return Guarded(kSource, IID__Command, [&] {
            if (!ValidCommandType(lCmdType)) throw InvalidArgument();
            std::lock_guard<ObjectLock> guard(lock_);
            type_ = lCmdType;
            return S_OK;
        });
    }
    STDMETHODIMP get_CommandType(CommandTypeEnum* plCmdType) override { return GetUnderLock(lock_, type_, plCmdType); }
    STDMETHODIMP get_Name(BSTR* pbstrName) override { return GetTextUnderLock(lock_, name_, pbstrName); }
    STDMETHODIMP put_Name(BSTR bstrName) override { return PutTextUnderLock(lock_, bstrName, name_); }
    STDMETHODIMP get_State(LONG* plObjState) override {
        if (!plObjState) return E_POINTER;
        *plObjState = adStateClosed;  // commands run to completion inside Execute
        return S_OK;
    }
    STDMETHODIMP Cancel() override { return S_OK; }
    STDMETHODIMP put_NamedParameters(VARIANT_BOOL f) override {
        std::lock_guard<ObjectLock> guard(lock_);
        namedParameters_ = f ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHODIMP get_NamedParameters(VARIANT_BOOL* pf) override { return GetUnderLock(lock_, namedParameters_, pf); }

private:
    ~CommandObject() {
        if (connection_) connection_->Release();
        if (internals_) internals_->Release();
    }

    // The connection let go is released after the lock: releasing it may
    // close its session.
    void SetConnection(_ADOConnection* connection) {
        IAdoConnectionInternals* internals = nullptr;
        if (connection) {
            connection->AddRef();
            if (FAILED(connection->QueryInterface(IID_IAdoConnectionInternals, reinterpret_cast<void**>(&internals))))
                internals = nullptr;
        }
        _ADOConnection* previous = nullptr;
        IAdoConnectionInternals* previousInternals = nullptr;
        {
            std::lock_guard<ObjectLock> guard(lock_);
            previous = connection_;
            previousInternals = internals_;
            connection_ = connection;
            internals_ = internals;
        }
        if (previousInternals) previousInternals->Release();
        if (previous) previous->Release();
    }

    ObjectLock lock_;
    _ADOConnection* connection_ = nullptr;
    // The same connection's session side, looked up once when it is set
    // rather than on every run; null for a connection not made here.
    IAdoConnectionInternals* internals_ = nullptr;
    ParametersObject parameters_;
    std::shared_ptr<const std::u16string> text_;  // null until set
    std::u16string name_;
    CommandTypeEnum type_ = adCmdUnknown;
    LONG timeout_ = 30;
    VARIANT_BOOL prepared_ = VARIANT_FALSE;
    VARIANT_BOOL namedParameters_ = VARIANT_FALSE;
};

const BuiltinClassRegistration kCommandClass(CLSID_Command, {u"ADODB.Command", u"ADODB.Command.6.0"},
                                             &CreateCommandObject);

}  // namespace

HRESULT CreateCommandObject(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateAdoObject<CommandObject>(outer, riid, ppv);
}

namespace {

// What a command's parameters are read into.
struct CommandLists {
    std::vector<CommandParameter> parameters;
    std::vector<_ADOParameter*> objects;  // each with a reference, for writing outputs back
};

// This thread's lists, kept empty between commands for their room: a
// thread that runs one command mostly runs many. A command run while
// another's lists are out (from inside a foreign parameter's method) gets
// lists of its own.
class BorrowedLists {
public:
    BorrowedLists() : spare_(Spare()), lists_(std::move(spare_)) {
        if (!lists_) lists_ = std::make_unique<CommandLists>();
    }
    ~BorrowedLists() {
        lists_->parameters.clear();
        for (_ADOParameter* p : lists_->objects) p->Release();
        lists_->objects.clear();
        spare_ = std::move(lists_);
    }
    BorrowedLists(const BorrowedLists&) = delete;
    BorrowedLists& operator=(const BorrowedLists&) = delete;
    CommandLists* operator->() { return lists_.get(); }

private:
    static std::unique_ptr<CommandLists>& Spare() {
        thread_local std::unique_ptr<CommandLists> spare;
        return spare;
    }
    std::unique_ptr<CommandLists>& spare_;  // this thread's, looked up once
    std::unique_ptr<CommandLists> lists_;
};

}  // namespace

_ADORecordset* RunCommand(Session& session, const SharedText& text, CommandTypeEnum type, ParametersObject* parameters,
                          VARIANT* parameterValues, LONG options, VARIANT* recordsAffected) {
    if (!text || text->empty()) throw AdoFailure{DB_E_NOCOMMAND, u"Command text was not set for the command object."};
    BorrowedLists lists;
    std::vector<CommandParameter>& list = lists->parameters;
    std::vector<_ADOParameter*>& objects = lists->objects;
    // A procedure writes its outputs back to the Parameter objects, so it
    // holds them; a text command only reads them, ours in one go.
    const bool withNames = session.logging();
    if (parameters && (type == adCmdStoredProc || !parameters->SnapshotOwnItems(withNames, list))) {
        parameters->AppendItemsTo(objects);
        list.resize(objects.size());
        for (size_t i = 0; i < objects.size(); ++i) ReadParameter(objects[i], withNames, list[i]);
    }
    // Values given to Execute replace those of the first parameters, and
    // stand as input parameters of their own beyond them.
    std::vector<VariantHolder> values = ReadValueArray(parameterValues);
    for (size_t i = 0; i < values.size(); ++i) {
        if (i < list.size()) {
            list[i].value = std::move(values[i]);
            list[i].converted.reset();
        } else {
            CommandParameter extra;
            extra.type = adVariant;
            extra.value = std::move(values[i]);
            list.push_back(std::move(extra));
        }
    }

    ExecutionOutcome outcome = type == adCmdStoredProc
                                   ? session.ExecuteProcedure(*text, list)
                                   : session.ExecuteText(text, list, type == adCmdTable ? adCmdTable : adCmdText);
    for (size_t i = 0; i < objects.size() && i < outcome.outputs.size(); ++i)
        if (outcome.outputs[i]) Check(objects[i]->put_Value(outcome.outputs[i]->ref()));

    if (recordsAffected) {
        VariantClear(recordsAffected);
        recordsAffected->vt = VT_I4;
        recordsAffected->lVal = static_cast<LONG>(outcome.recordsAffected);
    }
    if (options != adOptionUnspecified && (options & adExecuteNoRecords)) return nullptr;
    return NewRecordset(std::move(outcome.resultSet));
}

}  // namespace wincompat::ado
