// Creates the host's tables in a SQLite file: the reference script run in one transaction, the file
// in WAL mode.
#include "ReferenceSchema.h"

#include <sqlite3.h>

#include <memory>

namespace morvhost {
namespace {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

bool Run(sqlite3* db, const char* sql, std::string& error) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
    error = message ? message : sqlite3_errmsg(db);
    sqlite3_free(message);
    return false;
}

}  // namespace

bool ApplyReferenceSchema(const std::string& databasePath, std::string& error) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(databasePath.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, DatabaseCloser> db(raw);
    if (rc != SQLITE_OK) {
        error = "cannot open \"" + databasePath + "\": " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
        return false;
    }
    sqlite3_busy_timeout(raw, 30000);
    // WAL lets the host's readers and writers work side by side, as the ADO
    // connections expect.
    if (!Run(raw, "PRAGMA journal_mode=WAL", error)) return false;
    if (!Run(raw, "BEGIN IMMEDIATE", error)) return false;
    if (!Run(raw, ReferenceSchemaScript(), error)) {
        error = "reference schema: " + error;
        sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    if (!Run(raw, "COMMIT", error)) {
        sqlite3_exec(raw, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    return true;
}

}  // namespace morvhost
