// The recording ADO double's objects (connection, command, parameters, recordset) over wincompat's
// ADO stubs, the class factory registered over ADO's classes, and the host database's answer to
// each statement.
#include "RecordingAdo.h"

#include <cwctype>
#include <utility>

namespace windows_test {

const CLSID kClsidAdoConnection = {0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const CLSID kClsidAdoCommand = {0x00000507, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const IID kIidAdoConnection = {0x00000550, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

namespace {

const IID kIidAdoCommand = {0xB08400BD, 0xF9D1, 0x4D02, {0xB8, 0x56, 0x71, 0xD5, 0xDB, 0xA1, 0x23, 0xE9}};
const IID kIidAdoRecordset = {0x00000556, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const IID kIidAdoParameter = {0x0000050C, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const IID kIidAdoParameters = {0x0000050D, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
// Answered only by the double's own objects: how a command finds its
// connection, and the parameters collection its parameters.
const IID kIidDoubleObject = {0x5C1E0D2A, 0x77B4, 0x4E0F, {0x9A, 0x61, 0x3D, 0x2B, 0x84, 0x10, 0xC7, 0x5E}};

constexpr HRESULT kErrorsInCommand = static_cast<HRESULT>(0x80040E14L);  // DB_E_ERRORSINCOMMAND
constexpr HRESULT kNoConnection = static_cast<HRESULT>(0x800A0E7DL);     // adErrInvalidConnection
constexpr HRESULT kObjectClosed = static_cast<HRESULT>(0x800A0E78L);     // adErrObjectClosed
constexpr HRESULT kNoCurrentRecord = static_cast<HRESULT>(0x800A0BCDL);  // adErrNoCurrentRecord
constexpr HRESULT kItemNotFound = static_cast<HRESULT>(0x800A0CC1L);     // adErrItemNotFound

HRESULT Fail(HRESULT hr, const std::wstring& description, const wchar_t* source) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
        create->SetSource(const_cast<LPOLESTR>(source));
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return hr;
}

bool EqualsIgnoringCase(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i])) return false;
    return true;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// Reference counting and QueryInterface over the stub base: `interfaceId` is
// the ADO interface the object stands for.
template <class Base>
class DoubleObject : public Base {
public:
    explicit DoubleObject(const IID& interfaceId) : interfaceId_(interfaceId) {}
    virtual ~DoubleObject() = default;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, interfaceId_) ||
            IsEqualIID(iid, kIidDoubleObject)) {
            *object = static_cast<Base*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

private:
    const IID interfaceId_;
    LONG references_ = 1;
};

// The double's own object behind an interface pointer, or null for a foreign one.
template <class Object>
Object* OwnObject(IUnknown* unknown) {
    if (!unknown) return nullptr;
    void* object = nullptr;
    if (FAILED(unknown->QueryInterface(kIidDoubleObject, &object))) return nullptr;
    return static_cast<Object*>(static_cast<typename Object::StubBase*>(object));
}

class ConnectionDouble : public DoubleObject<wincompat::ado::ConnectionStub> {
public:
    using StubBase = wincompat::ado::ConnectionStub;
    explicit ConnectionDouble(std::shared_ptr<HostDatabaseDouble> database)
        : DoubleObject(kIidAdoConnection), database_(std::move(database)) {}
    HostDatabaseDouble& Database() const { return *database_; }
    STDMETHODIMP get_State(LONG* state) override {
        if (!state) return E_POINTER;
        *state = adStateOpen;
        return S_OK;
    }

private:
    std::shared_ptr<HostDatabaseDouble> database_;
};

class RecordsetDouble : public DoubleObject<wincompat::ado::RecordsetStub> {
public:
    using StubBase = wincompat::ado::RecordsetStub;
    explicit RecordsetDouble(std::vector<Row> rows) : DoubleObject(kIidAdoRecordset), rows_(std::move(rows)) {}

    STDMETHODIMP get_EOF(VARIANT_BOOL* atEnd) override {
        if (!atEnd) return E_POINTER;
        if (!open_) return kObjectClosed;
        *atEnd = position_ >= rows_.size() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHODIMP get_BOF(VARIANT_BOOL* atStart) override {
        if (!atStart) return E_POINTER;
        if (!open_) return kObjectClosed;
        *atStart = rows_.empty() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    STDMETHODIMP get_State(LONG* state) override {
        if (!state) return E_POINTER;
        *state = open_ ? adStateOpen : adStateClosed;
        return S_OK;
    }
    STDMETHODIMP MoveNext() override {
        if (!open_) return kObjectClosed;
        if (position_ >= rows_.size()) return kNoCurrentRecord;
        ++position_;
        return S_OK;
    }
    STDMETHODIMP Close() override {
        if (!open_) return kObjectClosed;
        open_ = false;
        return S_OK;
    }
    STDMETHODIMP get_Collect(VARIANT index, VARIANT* value) override {
        if (!value) return E_POINTER;
        if (!open_) return kObjectClosed;
        if (position_ >= rows_.size()) return kNoCurrentRecord;
        const Row& row = rows_[position_];
        const OwnedVariant* field = nullptr;
        if (index.vt == VT_BSTR) {
            const std::wstring name(index.bstrVal, SysStringLen(index.bstrVal));
            for (const auto& column : row)
                if (EqualsIgnoringCase(column.first, name)) field = &column.second;
        } else {
            VARIANT ordinal;
            VariantInit(&ordinal);
            if (SUCCEEDED(VariantChangeType(&ordinal, &index, 0, VT_I4)) && ordinal.lVal >= 0 &&
                static_cast<size_t>(ordinal.lVal) < row.size())
                field = &row[static_cast<size_t>(ordinal.lVal)].second;
        }
        if (!field) return Fail(kItemNotFound, L"Item cannot be found in the collection.", L"ADODB.Recordset");
        VariantInit(value);
        return VariantCopy(value, const_cast<VARIANT*>(&field->Get()));
    }

private:
    std::vector<Row> rows_;
    size_t position_ = 0;
    bool open_ = true;
};

}  // namespace

class ParameterDouble : public DoubleObject<wincompat::ado::ParameterStub> {
public:
    using StubBase = wincompat::ado::ParameterStub;
    ParameterDouble(BSTR name, DataTypeEnum type, ParameterDirectionEnum direction, LONG size, const VARIANT& value)
        : DoubleObject(kIidAdoParameter),
          name_(name ? std::wstring(name, SysStringLen(name)) : std::wstring()),
          type_(type),
          direction_(direction),
          size_(size),
          value_(value) {}

    STDMETHODIMP get_Name(BSTR* name) override {
        if (!name) return E_POINTER;
        *name = SysAllocStringLen(name_.data(), static_cast<UINT>(name_.size()));
        return S_OK;
    }
    STDMETHODIMP get_Value(VARIANT* value) override {
        if (!value) return E_POINTER;
        VariantInit(value);
        return VariantCopy(value, const_cast<VARIANT*>(&value_.Get()));
    }
    STDMETHODIMP put_Value(VARIANT value) override { return VariantCopy(value_.Receive(), &value); }
    STDMETHODIMP get_Type(DataTypeEnum* type) override {
        if (!type) return E_POINTER;
        *type = type_;
        return S_OK;
    }
    STDMETHODIMP get_Direction(ParameterDirectionEnum* direction) override {
        if (!direction) return E_POINTER;
        *direction = direction_;
        return S_OK;
    }
    STDMETHODIMP put_Size(ADO_LONGPTR size) override {
        size_ = static_cast<LONG>(size);
        return S_OK;
    }
    STDMETHODIMP get_Size(ADO_LONGPTR* size) override {
        if (!size) return E_POINTER;
        *size = size_;
        return S_OK;
    }

    const std::wstring& Name() const { return name_; }
    DataTypeEnum Type() const { return type_; }
    ParameterDirectionEnum Direction() const { return direction_; }
    LONG Size() const { return size_; }
    const VARIANT& Value() const { return value_.Get(); }
    void SetValue(const OwnedVariant& value) { value_ = value; }

private:
    std::wstring name_;
    DataTypeEnum type_;
    ParameterDirectionEnum direction_;
    LONG size_;
    OwnedVariant value_;
};

namespace {

class ParametersDouble : public DoubleObject<wincompat::ado::ParametersStub> {
public:
    using StubBase = wincompat::ado::ParametersStub;
    ParametersDouble() : DoubleObject(kIidAdoParameters) {}
    ~ParametersDouble() override {
        for (ParameterDouble* parameter : parameters_) parameter->Release();
    }
    STDMETHODIMP get_Count(LONG* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(parameters_.size());
        return S_OK;
    }
    STDMETHODIMP Append(IDispatch* object) override {
        ParameterDouble* parameter = OwnObject<ParameterDouble>(object);
        if (!parameter) return Fail(E_INVALIDARG, L"Not a parameter of this provider.", L"ADODB.Parameters");
        parameters_.push_back(parameter);  // keeps the reference OwnObject took
        return S_OK;
    }
    STDMETHODIMP get_Item(VARIANT index, _ADOParameter** item) override {
        if (!item) return E_POINTER;
        *item = nullptr;
        VARIANT ordinal;
        VariantInit(&ordinal);
        if (FAILED(VariantChangeType(&ordinal, &index, 0, VT_I4)) || ordinal.lVal < 0 ||
            static_cast<size_t>(ordinal.lVal) >= parameters_.size())
            return Fail(kItemNotFound, L"Item cannot be found in the collection.", L"ADODB.Parameters");
        *item = parameters_[static_cast<size_t>(ordinal.lVal)];
        (*item)->AddRef();
        return S_OK;
    }
    const std::vector<ParameterDouble*>& All() const { return parameters_; }

private:
    std::vector<ParameterDouble*> parameters_;
};

class CommandDouble : public DoubleObject<wincompat::ado::CommandStub> {
public:
    using StubBase = wincompat::ado::CommandStub;
    CommandDouble() : DoubleObject(kIidAdoCommand), parameters_(new ParametersDouble) {}
    ~CommandDouble() override {
        parameters_->Release();
        if (connection_) connection_->Release();
    }

    STDMETHODIMP putref_ActiveConnection(_ADOConnection* connection) override {
        if (connection_) connection_->Release();
        connection_ = OwnObject<ConnectionDouble>(connection);  // a foreign or null one leaves none
        return S_OK;
    }
    STDMETHODIMP put_CommandText(BSTR text) override {
        text_.assign(text ? text : L"", text ? SysStringLen(text) : 0);
        return S_OK;
    }
    STDMETHODIMP get_CommandText(BSTR* text) override {
        if (!text) return E_POINTER;
        *text = SysAllocStringLen(text_.data(), static_cast<UINT>(text_.size()));
        return S_OK;
    }
    STDMETHODIMP put_CommandType(CommandTypeEnum type) override {
        type_ = type;
        return S_OK;
    }
    STDMETHODIMP get_CommandType(CommandTypeEnum* type) override {
        if (!type) return E_POINTER;
        *type = type_;
        return S_OK;
    }
    STDMETHODIMP get_Parameters(ADOParameters** parameters) override {
        if (!parameters) return E_POINTER;
        *parameters = parameters_;
        parameters_->AddRef();
        return S_OK;
    }
    STDMETHODIMP CreateParameter(BSTR name, DataTypeEnum type, ParameterDirectionEnum direction, ADO_LONGPTR size,
                                 VARIANT value, _ADOParameter** parameter) override {
        if (!parameter) return E_POINTER;
        *parameter = new ParameterDouble(name, type, direction, static_cast<LONG>(size), value);
        return S_OK;
    }
    STDMETHODIMP Execute(VARIANT* recordsAffected, VARIANT* /*parameters*/, LONG options,
                         _ADORecordset** recordset) override {
        if (recordset) *recordset = nullptr;
        if (!connection_)
            return Fail(kNoConnection,
                        L"The connection cannot be used to perform this operation. It is either closed or invalid "
                        L"in this context.",
                        L"ADODB.Command");
        HostDatabaseDouble::Answer answer = connection_->Database().Run(type_, text_, parameters_->All());
        if (FAILED(answer.result)) return Fail(answer.result, answer.description, L"Microsoft OLE DB Provider");
        if (recordsAffected) {
            VariantInit(recordsAffected);
            recordsAffected->vt = VT_I4;
            recordsAffected->lVal = answer.recordsAffected;
        }
        // With adExecuteNoRecords no recordset comes back, as ADO does.
        const bool noRecords = options != adOptionUnspecified && (options & adExecuteNoRecords);
        if (recordset && !noRecords) *recordset = new RecordsetDouble(std::move(answer.rows));
        return S_OK;
    }

private:
    ConnectionDouble* connection_ = nullptr;
    ParametersDouble* parameters_;
    std::wstring text_;
    CommandTypeEnum type_ = adCmdUnknown;
};

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(std::shared_ptr<HostDatabaseDouble> database, bool makesConnections)
        : database_(std::move(database)), makesConnections_(makesConnections) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        IUnknown* created = makesConnections_ ? static_cast<IUnknown*>(new ConnectionDouble(database_))
                                              : static_cast<IUnknown*>(new CommandDouble);
        const HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    virtual ~ClassFactory() = default;
    std::shared_ptr<HostDatabaseDouble> database_;
    bool makesConnections_;
    LONG references_ = 1;
};

const ParameterDouble* Named(const std::vector<ParameterDouble*>& parameters, const wchar_t* name) {
    for (const ParameterDouble* parameter : parameters)
        if (EqualsIgnoringCase(parameter->Name(), name)) return parameter;
    return nullptr;
}

// A parameter's text, or "" when it holds none.
std::wstring TextOf(const ParameterDouble* parameter) {
    if (!parameter || parameter->Value().vt != VT_BSTR) return std::wstring();
    return std::wstring(parameter->Value().bstrVal, SysStringLen(parameter->Value().bstrVal));
}

std::wstring BytesOf(const ParameterDouble* parameter) {
    if (!parameter || parameter->Value().vt != (VT_ARRAY | VT_UI1) || !parameter->Value().parray) return std::wstring();
    const SAFEARRAY* array = parameter->Value().parray;
    const BYTE* bytes = static_cast<const BYTE*>(array->pvData);
    return std::wstring(bytes, bytes + array->rgsabound[0].cElements);
}

// The table named after `keyword` ("INSERT INTO [T]"): T.
std::wstring TableAfter(const std::wstring& text, const std::wstring& keyword) {
    const size_t at = text.find(keyword);
    if (at == std::wstring::npos) return std::wstring();
    const size_t start = at + keyword.size();
    const size_t end = text.find(L']', start);
    return end == std::wstring::npos ? std::wstring() : text.substr(start, end - start);
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, wcslen(prefix), prefix) == 0;
}

}  // namespace

OwnedVariant::OwnedVariant(const VARIANT& value) {
    VariantInit(&value_);
    VariantCopy(&value_, const_cast<VARIANT*>(&value));
}

OwnedVariant& OwnedVariant::operator=(const OwnedVariant& other) {
    if (this != &other) VariantCopy(Receive(), const_cast<VARIANT*>(&other.value_));
    return *this;
}

OwnedVariant OwnedVariant::Text(const wchar_t* text) {
    OwnedVariant value;
    value.value_.vt = VT_BSTR;
    value.value_.bstrVal = SysAllocString(text);
    return value;
}

OwnedVariant OwnedVariant::Null() {
    OwnedVariant value;
    value.value_.vt = VT_NULL;
    return value;
}

void HostDatabaseDouble::ServeRows(const std::wstring& text, std::vector<Row> rows) {
    std::lock_guard<std::mutex> lock(mutex_);
    served_[text] = std::move(rows);
}

void HostDatabaseDouble::FailWith(const std::wstring& text, HRESULT failure, const std::wstring& description) {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_[text] = {failure, description};
}

std::vector<std::wstring> HostDatabaseDouble::Texts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
}

HostDatabaseDouble::Answer HostDatabaseDouble::Run(CommandTypeEnum type, const std::wstring& text,
                                                   const std::vector<ParameterDouble*>& parameters) {
    std::lock_guard<std::mutex> lock(mutex_);
    RecordedCommand record;
    record.type = type;
    record.text = text;
    // The types of the values as given, before any output parameter receives its own.
    for (const ParameterDouble* parameter : parameters)
        record.parameters.push_back({parameter->Name(), parameter->Type(), parameter->Direction(),
                                     parameter->Value().vt, parameter->Size(), nullptr});
    Answer answer = Answer_(type, text, parameters);
    for (size_t i = 0; i < parameters.size(); ++i) record.parameters[i].value = &parameters[i]->Value();
    record.recordsAffected = answer.recordsAffected;
    record.result = answer.result;
    texts_.push_back(text);
    log_.Write(record);
    return answer;
}

HostDatabaseDouble::Answer HostDatabaseDouble::Answer_(CommandTypeEnum type, const std::wstring& text,
                                                       const std::vector<ParameterDouble*>& parameters) {
    Answer answer;
    auto failure = failures_.find(text);
    if (failure != failures_.end()) {
        answer.result = failure->second.first;
        answer.description = failure->second.second;
        return answer;
    }
    auto served = served_.find(text);
    if (served != served_.end()) {
        answer.rows = served->second;
        return answer;
    }
    if (type == adCmdStoredProc) {
        if (text == L"ZELKSP_UpdateDetectedSystems") return UpdateDetectedSystems(parameters);
        if (text == L"ZELKSP_UpdateInterfaces") {
            answer.recordsAffected = 1;
            return answer;
        }
    } else if (type == adCmdText) {
        if (StartsWith(text, L"SELECT * FROM [")) return answer;  // no row
        if (StartsWith(text, L"UPDATE [")) {
            answer.recordsAffected = 0;
            return answer;
        }
        const std::wstring table = TableAfter(text, L"INSERT INTO [");
        if (!table.empty() && text.find(L"SELECT SCOPE_IDENTITY()") != std::wstring::npos) {
            VARIANT identity;
            VariantInit(&identity);
            identity.vt = VT_I4;
            identity.lVal = ++identities_[table];
            OwnedVariant decimal;
            VariantChangeType(decimal.Receive(), &identity, 0, VT_DECIMAL);
            answer.rows.push_back(Row{{std::wstring(), decimal}});
            return answer;
        }
    }
    answer.result = kErrorsInCommand;
    answer.description = L"The recording double has no answer for: " + text;
    return answer;
}

HostDatabaseDouble::Answer HostDatabaseDouble::UpdateDetectedSystems(const std::vector<ParameterDouble*>& parameters) {
    const std::wstring detectionType = TextOf(Named(parameters, L"@DetectionType"));
    const std::wstring mac = Upper(TextOf(Named(parameters, L"@MAC")));
    const std::wstring agent = Upper(TextOf(Named(parameters, L"@AgentGUID")));
    const std::wstring address = BytesOf(Named(parameters, L"@IPV6"));
    const ParameterDouble* override = Named(parameters, L"@MatchingOverride");
    const bool matching = !override || override->Value().vt == VT_NULL ||
                          (override->Value().vt == VT_INT && override->Value().intVal == 0) ||
                          (override->Value().vt == VT_I4 && override->Value().lVal == 0);
    const KnownHost* match = nullptr;
    if (matching) {
        // The first rule the detection can use decides; the oldest row wins.
        for (const KnownHost& host : hosts_) {
            if (host.detectionType != detectionType) continue;
            const bool same = !mac.empty()       ? host.mac == mac
                              : !agent.empty()   ? host.agent == agent
                              : !address.empty() ? host.address == address
                                                 : false;
            if (same) {
                match = &host;
                break;
            }
        }
    }
    LONG hostId = 0;
    const bool inserted = match == nullptr;
    if (match) {
        hostId = match->hostId;
    } else {
        hostId = static_cast<LONG>(hosts_.size()) + 1;
        hosts_.push_back({hostId, detectionType, mac, agent, address});
    }
    for (ParameterDouble* parameter : parameters) {
        OwnedVariant value;
        if (EqualsIgnoringCase(parameter->Name(), L"@OutputHostID")) {
            VARIANT* v = value.Receive();
            v->vt = VT_I4;
            v->lVal = hostId;
            parameter->SetValue(value);
        } else if (EqualsIgnoringCase(parameter->Name(), L"@OutputNewDetection")) {
            VARIANT* v = value.Receive();
            v->vt = VT_BOOL;
            v->boolVal = inserted ? VARIANT_TRUE : VARIANT_FALSE;
            parameter->SetValue(value);
        }
    }
    Answer answer;
    answer.recordsAffected = 1;
    return answer;
}

AdoClassRegistration::AdoClassRegistration(std::shared_ptr<HostDatabaseDouble> database) {
    ClassFactory* connections = new ClassFactory(database, true);
    ClassFactory* commands = new ClassFactory(database, false);
    result_ = CoRegisterClassObject(kClsidAdoConnection, connections, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                    &connectionCookie_);
    if (SUCCEEDED(result_))
        result_ = CoRegisterClassObject(kClsidAdoCommand, commands, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &commandCookie_);
    connections->Release();
    commands->Release();
}

AdoClassRegistration::~AdoClassRegistration() {
    if (connectionCookie_) CoRevokeClassObject(connectionCookie_);
    if (commandCookie_) CoRevokeClassObject(commandCookie_);
}

}  // namespace windows_test
