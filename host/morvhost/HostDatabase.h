// The host's database, reached the way the host reaches it: an ADO connection
// to the reference SQLite database, with plain and parameterised statements.
#pragma once
#include <windows.h>
#include <adoint.h>

#include <string>
#include <vector>

#include "comsupport/ComRef.h"
#include "comsupport/Variant.h"

COMSUPPORT_INTERFACE_ID(_ADOConnection, IID__Connection)
COMSUPPORT_INTERFACE_ID(_ADOCommand, IID__Command)
COMSUPPORT_INTERFACE_ID(_ADORecordset, IID__Recordset)
COMSUPPORT_INTERFACE_ID(ADOParameters, IID_Parameters)
COMSUPPORT_INTERFACE_ID(_ADOParameter, IID__Parameter)
COMSUPPORT_INTERFACE_ID(ADOFields, IID_Fields)

namespace morvhost {

// Where the database lives when --db is not given: morvhost.db in the user's
// data folder ($XDG_DATA_HOME/morvhost, else ~/.local/share/morvhost).
std::string DefaultDatabasePath();

// Creates the reference database at `path` (or adds the tables it lacks); an
// existing database keeps its data. Raises HostError with the reason on failure.
void InitializeDatabase(const std::string& path);

class HostDatabase {
public:
    // Opens an existing database that has the host's tables; raises HostError
    // naming the path and the cause otherwise. `statementLog`, when not
    // empty, is the file that records every statement.
    HostDatabase(const std::string& path, const std::string& statementLog);

    // The open connection, as the host hands it to the plug-ins.
    const comsupport::ComRef<_ADOConnection>& Connection() const { return connection_; }

    // Runs a statement with text parameters bound by position; returns the rows affected.
    long Execute(const char* sql, const std::vector<std::string>& parameters);
    // Runs a query with text parameters and returns the texts of its first column (NULL as "").
    std::vector<std::string> QueryColumn(const char* sql, const std::vector<std::string>& parameters);
    // Runs a query with text parameters and returns every row, each value as ADO typed it.
    using Row = std::vector<comsupport::Variant>;
    std::vector<Row> Query(const char* sql, const std::vector<std::string>& parameters);

private:
    comsupport::ComRef<_ADOCommand> Prepare(const char* sql, const std::vector<std::string>& parameters);
    comsupport::ComRef<_ADOConnection> connection_;
};

}  // namespace morvhost
