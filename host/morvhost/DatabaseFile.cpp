// Checks a database file before morvhost connects to it, creates one under a staging name linked
// into place, and compares its tables and columns with those the reference script makes.
#include "DatabaseFile.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "HostError.h"
#include "ReferenceSchema.h"

namespace morvhost {
namespace {

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Database = std::unique_ptr<sqlite3, DatabaseCloser>;

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

struct DescriptorCloser {
    void operator()(FILE* file) const { fclose(file); }
};

[[noreturn]] void CannotOpen(const std::string& path, const std::string& cause) {
    throw HostError("cannot open the database " + path + ": " + cause);
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        std::string folder = path.substr(0, slash);
        if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
            throw HostError("cannot create the folder " + folder + ": " + strerror(errno));
    }
}

bool HasSqliteHeader(const std::string& path, off_t size) {
    if (size == 0) return true;  // SQLite's own empty database
    static const char kHeader[16] = "SQLite format 3";
    char start[16] = {};
    std::unique_ptr<FILE, DescriptorCloser> file(fopen(path.c_str(), "rb"));
    if (!file) return false;
    return fread(start, 1, sizeof start, file.get()) == sizeof start && memcmp(start, kHeader, sizeof start) == 0;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Table name → column names, each keyed in lower case (SQLite compares names
// without case) and holding the name as written.
struct Table {
    std::string name;
    std::map<std::string, std::string> columns;
};
using Tables = std::map<std::string, Table>;

Tables TablesOf(sqlite3* db, std::string& error) {
    Tables tables;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT m.name, p.name FROM sqlite_master AS m, pragma_table_info(m.name) AS p "
                           "WHERE m.type = 'table' AND m.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'",
                           -1, &raw, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        return tables;
    }
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> statement(raw);
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        std::string table = reinterpret_cast<const char*>(sqlite3_column_text(raw, 0));
        std::string column = reinterpret_cast<const char*>(sqlite3_column_text(raw, 1));
        Table& entry = tables[Lower(table)];
        entry.name = table;
        entry.columns[Lower(column)] = column;
    }
    if (rc != SQLITE_DONE) error = sqlite3_errmsg(db);
    return tables;
}

// The tables the reference script makes, read from a database made from it in memory.
const Tables& HostTables() {
    static const Tables tables = [] {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE, nullptr);
        Database db(raw);
        std::string error;
        if (!raw || sqlite3_exec(raw, morvhost::ReferenceSchemaScript(), nullptr, nullptr, nullptr) != SQLITE_OK)
            throw HostError("the host's schema script does not run");
        Tables made = TablesOf(raw, error);
        if (!error.empty()) throw HostError("the host's schema cannot be read: " + error);
        return made;
    }();
    return tables;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

void ApplySchema(const std::string& path) {
    std::string error;
    if (!morvhost::ApplyReferenceSchema(path, error))
        throw HostError("cannot set up the database " + path + ": " + error);
}

}  // namespace

void CheckDatabaseFile(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw HostError("no database at " + path + ": run 'morvhost init --db " + path + "' to create it");
        CannotOpen(path, strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) CannotOpen(path, "it is a folder, not a file");
    if (!S_ISREG(info.st_mode)) CannotOpen(path, "it is not a regular file");
    if (access(path.c_str(), R_OK) != 0) CannotOpen(path, std::string("the file cannot be read: ") + strerror(errno));
    if (!HasSqliteHeader(path, info.st_size)) CannotOpen(path, "it is not an SQLite database");
    std::string folder = FolderOf(path);
    if (access(folder.c_str(), W_OK) != 0)
        CannotOpen(path,
                   "the folder " + folder + " is not writable (SQLite keeps the database's journal files beside it)");
    if (access(path.c_str(), W_OK) != 0) CannotOpen(path, "the file is read-only");
}

bool CreateDatabaseIfMissing(const std::string& path) {
    if (path.empty()) throw HostError("the database path is empty");
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) return false;
    MakeFolders(path);
    // Made under a name of its own, then linked in: link() fails when
    // another process has put its database there first, and that one is used.
    std::vector<char> name(path.begin(), path.end());
    const char suffix[] = ".creating-XXXXXX";
    name.insert(name.end(), suffix, suffix + sizeof suffix);
    int fd = mkstemp(name.data());
    if (fd < 0) throw HostError("cannot create the database " + path + ": " + strerror(errno));
    std::string staging(name.data());
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    struct Remover {
        const std::string& file;
        ~Remover() { unlink(file.c_str()); }
    } remover{staging};
    ApplySchema(staging);
    if (link(staging.c_str(), path.c_str()) == 0) return true;
    if (errno == EEXIST) return false;
    throw HostError("cannot create the database " + path + ": " + strerror(errno));
}

void CheckHostSchema(const std::string& path) {
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) CannotOpen(path, raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    sqlite3_busy_timeout(raw, 30000);
    std::string error;
    Tables present = TablesOf(raw, error);
    if (!error.empty()) CannotOpen(path, error);

    std::vector<std::string> missingTables;
    std::vector<std::string> missingColumns;
    for (const auto& [key, table] : HostTables()) {
        auto found = present.find(key);
        if (found == present.end()) {
            missingTables.push_back(table.name);
            continue;
        }
        std::vector<std::string> lacking;
        for (const auto& [columnKey, column] : table.columns)
            if (!found->second.columns.count(columnKey)) lacking.push_back(column);
        if (!lacking.empty())
            missingColumns.push_back("the table " + found->second.name + " lacks the column" +
                                     (lacking.size() == 1 ? " " : "s ") + Joined(lacking));
    }
    if (!missingTables.empty())
        throw HostError("the database " + path + " lacks the host's table" + (missingTables.size() == 1 ? " " : "s ") +
                        Joined(missingTables) + ": run 'morvhost init --db " + path + "' to add them");
    if (!missingColumns.empty())
        throw HostError("the database " + path + " does not have the host's schema: " + Joined(missingColumns));
}

void CompleteHostSchema(const std::string& path) {
    try {
        CheckHostSchema(path);
        return;  // nothing to write
    } catch (const HostError&) {
    }
    ApplySchema(path);
    CheckHostSchema(path);
}

}  // namespace morvhost
