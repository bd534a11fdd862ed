// The reference host database: the tables and stored procedures that the
// plug-ins rely on, for SQLite (reference-sqlite.sql, embedded at build time).
#pragma once
#include <string>

namespace morvhost {

// The text of reference-sqlite.sql.
const char* ReferenceSchemaScript();

// Creates the database file if needed and applies the script in one
// transaction. Applying it to a database that has it already changes no
// data. Returns false and sets `error` when the file cannot be opened or the
// script fails (the database is then left as it was).
bool ApplyReferenceSchema(const std::string& databasePath, std::string& error);

}  // namespace morvhost
