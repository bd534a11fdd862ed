// A recording double of ADO for the plug-ins under Wine, whose own ADO cannot
// run a statement: registered over ADO's Connection and Command classes with
// CoRegisterClassObject, it writes every command it is asked to run to a
// statement log (the Linux log's format) and answers as the host database
// would for the statements the plug-ins send:
//
// - "SELECT * FROM [T] WHERE ..." (the table mapper's loads): no row;
// - a batch ending in "SELECT SCOPE_IDENTITY()" after "INSERT INTO [T]": one
//   row, the next identity of T (1, 2, ... per table, VT_DECIMAL as SQL
//   Server's numeric(38,0));
// - UPDATE: no row affected;
// - ZELKSP_UpdateDetectedSystems: the host id of the system the detection
//   matches (by MAC, else agent identity, else address, as the reference
//   database's procedure does) or of a new one, in @OutputHostID, and in
//   @OutputNewDetection whether it was new;
// - ZELKSP_UpdateInterfaces: one row affected;
// - any text given rows with ServeRows: those rows; one given FailWith: that
//   failure; any other text: DB_E_ERRORSINCOMMAND.
#pragma once
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AdoHeaders.h"
#include "StatementLogWriter.h"

namespace windows_test {

// A VARIANT that owns its value.
class OwnedVariant {
public:
    OwnedVariant() { VariantInit(&value_); }
    explicit OwnedVariant(const VARIANT& value);
    OwnedVariant(const OwnedVariant& other) : OwnedVariant(other.value_) {}
    OwnedVariant& operator=(const OwnedVariant& other);
    ~OwnedVariant() { VariantClear(&value_); }
    static OwnedVariant Text(const wchar_t* text);
    static OwnedVariant Null();
    const VARIANT& Get() const { return value_; }
    VARIANT* Receive() {
        VariantClear(&value_);
        return &value_;
    }

private:
    VARIANT value_;
};

using Row = std::vector<std::pair<std::wstring, OwnedVariant>>;

class ParameterDouble;

// What the host database answers, and the log of what it was sent.
class HostDatabaseDouble {
public:
    explicit HostDatabaseDouble(const std::wstring& logPath = std::wstring()) : log_(logPath) {}

    void ServeRows(const std::wstring& text, std::vector<Row> rows);
    void FailWith(const std::wstring& text, HRESULT failure, const std::wstring& description);

    struct Answer {
        HRESULT result = S_OK;
        std::wstring description;
        std::vector<Row> rows;
        LONG recordsAffected = -1;
    };
    Answer Run(CommandTypeEnum type, const std::wstring& text, const std::vector<ParameterDouble*>& parameters);

    // The texts of the commands run, in order.
    std::vector<std::wstring> Texts() const;
    bool LogIsOpen() const { return log_.IsOpen(); }

private:
    struct KnownHost {
        LONG hostId;
        std::wstring detectionType, mac, agent, address;
    };
    Answer Answer_(CommandTypeEnum type, const std::wstring& text, const std::vector<ParameterDouble*>& parameters);
    Answer UpdateDetectedSystems(const std::vector<ParameterDouble*>& parameters);

    mutable std::mutex mutex_;
    StatementLogFile log_;
    std::vector<std::wstring> texts_;
    std::map<std::wstring, std::vector<Row>> served_;
    std::map<std::wstring, std::pair<HRESULT, std::wstring>> failures_;
    std::map<std::wstring, LONG> identities_;  // the last identity per table
    std::vector<KnownHost> hosts_;
};

// Registers the Connection and Command classes of the double for the
// process while it lives. Connections made by CoCreateInstance talk to
// `database`.
class AdoClassRegistration {
public:
    explicit AdoClassRegistration(std::shared_ptr<HostDatabaseDouble> database);
    ~AdoClassRegistration();
    AdoClassRegistration(const AdoClassRegistration&) = delete;
    AdoClassRegistration& operator=(const AdoClassRegistration&) = delete;
    HRESULT Result() const { return result_; }

private:
    HRESULT result_ = E_FAIL;
    DWORD connectionCookie_ = 0;
    DWORD commandCookie_ = 0;
};

// ADO's identities, as the plug-ins name them.
extern const CLSID kClsidAdoConnection;
extern const CLSID kClsidAdoCommand;
extern const IID kIidAdoConnection;

}  // namespace windows_test
