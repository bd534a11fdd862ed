// The database file itself, before any connection is made to it: whether it
// is there and usable, creating it so that no other process ever sees it
// half made, and whether it holds the host's tables.
#pragma once
#include <string>

namespace morvhost {

// Raises HostError naming the path and the cause when `path` is missing or
// is no database file this program can use.
void CheckDatabaseFile(const std::string& path);

// Creates the database with the host's tables when there is none. The file
// appears complete or not at all: processes starting at once on the same new
// path find either nothing or the finished database. Returns false when the
// file was already there.
bool CreateDatabaseIfMissing(const std::string& path);

// Raises HostError saying which of the host's tables or columns the database
// lacks.
void CheckHostSchema(const std::string& path);

// Applies the host's schema to an existing database: adds missing tables,
// keeps the data.
void CompleteHostSchema(const std::string& path);

}  // namespace morvhost
