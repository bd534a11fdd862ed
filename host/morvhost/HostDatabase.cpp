// The host database over ADO: where it lives by default, its creation, and statements run with text
// parameters, their rows read back as variants or as text.
#include "HostDatabase.h"

#include <cstdlib>

#include "DatabaseFile.h"
#include "HostError.h"
#include "comsupport/ComError.h"
#include "comsupport/Bstr.h"
#include "comsupport/Variant.h"

namespace morvhost {
namespace {

using comsupport::Bstr;
using comsupport::ComRef;
using comsupport::Variant;

// A connection-string value in double quotes, as ADO reads them: a path may
// hold ';', quotes or blanks.
std::string Quoted(const std::string& value) {
    std::string quoted = "\"";
    for (char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

std::string DefaultDatabasePath() {
    std::string folder;
    if (const char* data = getenv("XDG_DATA_HOME"); data && *data) {
        folder = data;
    } else if (const char* home = getenv("HOME"); home && *home) {
        folder = std::string(home) + "/.local/share";
    } else {
        throw HostError("no per-user data folder (neither XDG_DATA_HOME nor HOME is set): give --db");
    }
    return folder + "/morvhost/morvhost.db";
}

void InitializeDatabase(const std::string& path) {
    if (CreateDatabaseIfMissing(path)) return;
    CheckDatabaseFile(path);
    CompleteHostSchema(path);
}

HostDatabase::HostDatabase(const std::string& path, const std::string& statementLog) {
    CheckDatabaseFile(path);
    CheckHostSchema(path);
    std::string connectionString = "Provider=SQLite;Data Source=" + Quoted(path);
    if (!statementLog.empty()) connectionString += ";Statement Log=" + Quoted(statementLog);

    connection_ = ComRef<_ADOConnection>::Create(CLSID_Connection);
    try {
        connection_.Call(&_ADOConnection::Open, Bstr::FromUtf8(connectionString).Get(), static_cast<BSTR>(nullptr),
                         static_cast<BSTR>(nullptr), static_cast<LONG>(adOptionUnspecified));
    } catch (const comsupport::ComError& error) {
        std::string cause =
            comsupport::Utf8FromOle(error.Description().empty() ? error.SystemMessage() : error.Description());
        throw HostError("cannot open the database " + path + ": " + cause);
    }
}

ComRef<_ADOCommand> HostDatabase::Prepare(const char* sql, const std::vector<std::string>& parameters) {
    auto command = ComRef<_ADOCommand>::Create(CLSID_Command);
    command.Call(&_ADOCommand::putref_ActiveConnection, connection_.Get());
    command.Call(&_ADOCommand::put_CommandText, Bstr::FromUtf8(sql).Get());
    command.Call(&_ADOCommand::put_CommandType, adCmdText);
    ComRef<ADOParameters> bound;
    command.Call(&_ADOCommand::get_Parameters, bound.Receive());
    for (const std::string& text : parameters) {
        Bstr value = Bstr::FromUtf8(text);
        ComRef<_ADOParameter> parameter;
        command.Call(&_ADOCommand::CreateParameter, Bstr().Get(), adBSTR, adParamInput,
                     static_cast<ADO_LONGPTR>(value.Length()), Variant::FromBstr(std::move(value)).Get(),
                     parameter.Receive());
        bound.Call(&ADOParameters::Append, static_cast<IDispatch*>(parameter.Get()));
    }
    return command;
}

long HostDatabase::Execute(const char* sql, const std::vector<std::string>& parameters) {
    ComRef<_ADOCommand> command = Prepare(sql, parameters);
    Variant affected;
    ComRef<_ADORecordset> ignored;
    command.Call(&_ADOCommand::Execute, affected.Receive(), static_cast<VARIANT*>(nullptr),
                 static_cast<LONG>(adExecuteNoRecords), ignored.Receive());
    return affected.Type() == VT_I4 ? affected.Get().lVal : affected.ConvertedTo(VT_I4).Get().lVal;
}

std::vector<std::string> HostDatabase::QueryColumn(const char* sql, const std::vector<std::string>& parameters) {
    ComRef<_ADOCommand> command = Prepare(sql, parameters);
    ComRef<_ADORecordset> rows;
    command.Call(&_ADOCommand::Execute, static_cast<VARIANT*>(nullptr), static_cast<VARIANT*>(nullptr),
                 static_cast<LONG>(adOptionUnspecified), rows.Receive());
    std::vector<std::string> texts;
    Variant firstColumn = Variant::FromLong(0);
    for (;;) {
        VARIANT_BOOL atEnd = VARIANT_TRUE;
        rows.Call(&_ADORecordset::get_EOF, &atEnd);
        if (atEnd != VARIANT_FALSE) break;
        Variant value;
        rows.Call(&_ADORecordset::get_Collect, firstColumn.Get(), value.Receive());
        if (value.IsNull()) {
            texts.emplace_back();
        } else {
            Variant text = value.ConvertedTo(VT_BSTR);
            texts.push_back(comsupport::Utf8FromOle(text.Get().bstrVal, SysStringLen(text.Get().bstrVal)));
        }
        rows.Call(&_ADORecordset::MoveNext);
    }
    rows.Call(&_ADORecordset::Close);
    return texts;
}

std::vector<HostDatabase::Row> HostDatabase::Query(const char* sql, const std::vector<std::string>& parameters) {
    ComRef<_ADOCommand> command = Prepare(sql, parameters);
    ComRef<_ADORecordset> rows;
    command.Call(&_ADOCommand::Execute, static_cast<VARIANT*>(nullptr), static_cast<VARIANT*>(nullptr),
                 static_cast<LONG>(adOptionUnspecified), rows.Receive());
    ComRef<ADOFields> fields;
    rows.Call(&_ADORecordset::get_Fields, fields.Receive());
    LONG columns = 0;
    fields.Call(&ADOFields::get_Count, &columns);
    std::vector<Row> result;
    for (;;) {
        VARIANT_BOOL atEnd = VARIANT_TRUE;
        rows.Call(&_ADORecordset::get_EOF, &atEnd);
        if (atEnd != VARIANT_FALSE) break;
        Row row;
        row.reserve(static_cast<size_t>(columns));
        for (LONG ordinal = 0; ordinal < columns; ++ordinal) {
            Variant value;
            rows.Call(&_ADORecordset::get_Collect, Variant::FromLong(ordinal).Get(), value.Receive());
            row.push_back(std::move(value));
        }
        result.push_back(std::move(row));
        rows.Call(&_ADORecordset::MoveNext);
    }
    rows.Call(&_ADORecordset::Close);
    return result;
}

}  // namespace morvhost
