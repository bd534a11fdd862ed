// ADODB.Connection: one database session opened from a connection string,
// "Provider=SQLite;Data Source=PATH" by default, with the optional keywords
// "Statement Log=PATH" and "Busy Timeout=MS" (see Session.h).
#include <adoid.h>

#include "ado/Errors.h"
#include "ado/Objects.h"
#include "ado/Stubs.h"
#include "com/BuiltinClasses.h"

namespace wincompat::ado {

const IID IID_IAdoConnectionInternals = {0x6a1f2c3e, 0x0b7d, 0x4e51, {0x9c, 0x1a, 0x5d, 0x0e, 0x7a, 0x2b, 0x4c, 0x90}};

namespace {

constexpr const char16_t* kSource = u"ADODB.Connection";

bool IsConnectionInterface(REFIID riid) {
    return riid == IID__Connection || riid == IID__Connection_ADO6 || riid == IID_Connection15 ||
           riid == IID_Connection15_ADO6 || riid == IID__ADO;
}

class ConnectionObject final : public ConnectionStub,
                               public ISupportErrorInfo,
                               public IAdoConnectionInternals,
                               public ReferenceCounted<ConnectionObject> {
public:
    WINCOMPAT_ADO_REFCOUNT

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv && riid == IID_IAdoConnectionInternals) {
            *ppv = static_cast<IAdoConnectionInternals*>(this);
            AddRef();
            return S_OK;
        }
        return QueryAdoObject(static_cast<_ADOConnection*>(this), this, IsConnectionInterface(riid), riid, ppv);
    }

    STDMETHODIMP InterfaceSupportsErrorInfo(REFIID riid) override {
        return IsConnectionInterface(riid) ? S_OK : S_FALSE;
    }

    std::shared_ptr<Session> CurrentSession() override {
        std::lock_guard<ObjectLock> guard(lock_);
        return session_;
    }

    STDMETHODIMP get_ConnectionString(BSTR* pbstr) override {
        return Guarded(kSource, IID__Connection, [&] {
            if (!pbstr) return E_POINTER;
            std::lock_guard<ObjectLock> guard(lock_);
            *pbstr = AllocBstr(connectionString_);
            return *pbstr ? S_OK : E_OUTOFMEMORY;
        });
    }

    STDMETHODIMP put_ConnectionString(BSTR bstr) override {
        return Guarded(kSource, IID__Connection, [&] {
            std::u16string text = BstrText(bstr);
            std::lock_guard<std::mutex> opening(openLock_);
            std::lock_guard<ObjectLock> guard(lock_);
            if (session_) throw ObjectOpen();
            connectionString_.swap(text);
            return S_OK;
        });
    }

    STDMETHODIMP get_CommandTimeout(LONG* pl) override { return GetUnderLock(lock_, commandTimeout_, pl); }
    STDMETHODIMP put_CommandTimeout(LONG l) override {
        return PutNonNegative(lock_, kSource, IID__Connection, l, commandTimeout_);
    }
    STDMETHODIMP get_ConnectionTimeout(LONG* pl) override { return GetUnderLock(lock_, connectionTimeout_, pl); }
    STDMETHODIMP put_ConnectionTimeout(LONG l) override {
        return PutNonNegative(lock_, kSource, IID__Connection, l, connectionTimeout_);
    }

    STDMETHODIMP get_Version(BSTR* pbstr) override {
        if (!pbstr) return E_POINTER;
        *pbstr = SysAllocString(u"2.8");
        return *pbstr ? S_OK : E_OUTOFMEMORY;
    }

    STDMETHODIMP get_Provider(BSTR* pbstr) override {
        if (!pbstr) return E_POINTER;
        *pbstr = SysAllocString(u"SQLite");
        return *pbstr ? S_OK : E_OUTOFMEMORY;
    }

    STDMETHODIMP get_State(LONG* plObjState) override {
        if (!plObjState) return E_POINTER;
        std::lock_guard<ObjectLock> guard(lock_);
        *plObjState = session_ ? adStateOpen : adStateClosed;
        return S_OK;
    }

    STDMETHODIMP Open(BSTR ConnectionString, BSTR, BSTR, LONG) override {
        return Guarded(kSource, IID__Connection, [&] {
            // Opening takes as long as the database makes it wait: under the
            // mutex that orders opening and closing, not under the lock that
            // every command takes to find the session.
            std::lock_guard<std::mutex> opening(openLock_);
            std::u16string text;
            {
                std::lock_guard<ObjectLock> guard(lock_);
                if (session_) throw ObjectOpen();
                text =
                    ConnectionString && SysStringLen(ConnectionString) ? BstrText(ConnectionString) : connectionString_;
            }
            ConnectionSettings settings = ParseConnectionString(text);
            std::shared_ptr<Session> session;
            try {
                session = std::make_shared<Session>(settings);
            } catch (const DbError& error) {
                throw AdoFailure{E_FAIL, Utf8ToUtf16(error.what())};
            }
            std::lock_guard<ObjectLock> guard(lock_);
            session_ = std::move(session);
            connectionString_.swap(text);
            return S_OK;
        });
    }

    STDMETHODIMP Close() override {
        return Guarded(kSource, IID__Connection, [&] {
            std::lock_guard<std::mutex> closing(openLock_);
            std::shared_ptr<Session> session;
            {
                std::lock_guard<ObjectLock> guard(lock_);
                if (!session_) throw ObjectClosed();
                session.swap(session_);
            }
            // Commands and recordsets made on it keep the session alive until
            // they let go; the connection itself is closed now.
            session.reset();
            return S_OK;
        });
    }

    STDMETHODIMP Execute(BSTR CommandText, VARIANT* RecordsAffected, LONG Options, _ADORecordset** ppiRset) override {
        return Guarded(kSource, IID__Connection, [&] {
            std::shared_ptr<Session> session = CurrentSession();
            if (!session) throw ObjectClosed();
            LONG typeBits = Options == adOptionUnspecified ? 0 : (Options & 0x30F);
            CommandTypeEnum type = typeBits ? static_cast<CommandTypeEnum>(typeBits) : adCmdText;
            _ADORecordset* recordset = RunCommand(*session, SharedCommandText(BstrView(CommandText)), type, nullptr,
                                                  nullptr, Options, RecordsAffected);
            if (ppiRset) {
                *ppiRset = recordset;
            } else if (recordset) {
                recordset->Release();
            }
            return S_OK;
        });
    }

    STDMETHODIMP Cancel() override { return S_OK; }

private:
    ~ConnectionObject() = default;

    std::mutex openLock_;  // orders Open, Close and put_ConnectionString
    ObjectLock lock_;      // the members below
    std::u16string connectionString_;
    std::shared_ptr<Session> session_;
    LONG commandTimeout_ = 30;
    LONG connectionTimeout_ = 15;
};

const BuiltinClassRegistration kConnectionClass(CLSID_Connection, {u"ADODB.Connection", u"ADODB.Connection.6.0"},
                                                &CreateConnectionObject);

}  // namespace

HRESULT CreateConnectionObject(IUnknown* outer, REFIID riid, void** ppv) {
    return CreateAdoObject<ConnectionObject>(outer, riid, ppv);
}

std::shared_ptr<Session> SessionOf(IUnknown* connection) {
    if (!connection) return nullptr;
    IAdoConnectionInternals* internals = nullptr;
    if (FAILED(connection->QueryInterface(IID_IAdoConnectionInternals, reinterpret_cast<void**>(&internals))) ||
        !internals)
        return nullptr;
    std::shared_ptr<Session> session = internals->CurrentSession();
    internals->Release();
    return session;
}

}  // namespace wincompat::ado
