// The embedded default provider: SQLite. Each session is one SQLite
// connection in WAL mode (readers never block the writer), with a busy
// timeout so that concurrent writers wait for each other instead of failing,
// and with foreign keys enforced.
#include <sqlite3.h>

#include <cstring>

#include "ado/Provider.h"
#include "common/CaseCompare.h"

namespace wincompat::ado {
namespace {

DbErrorKind KindOf(int code) {
    switch (code & 0xff) {
        case SQLITE_CONSTRAINT: return DbErrorKind::Constraint;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: return DbErrorKind::Busy;
        case SQLITE_MISMATCH: return DbErrorKind::Conversion;
        case SQLITE_ERROR:
        case SQLITE_RANGE:
        case SQLITE_TOOBIG:
        case SQLITE_READONLY: return DbErrorKind::Command;
        case SQLITE_CANTOPEN:
        case SQLITE_NOTADB:
        case SQLITE_PERM:
        case SQLITE_AUTH: return DbErrorKind::Open;
        default: return DbErrorKind::Other;
    }
}

[[noreturn]] void Fail(sqlite3* db, int code) {
    const char* message = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    throw DbError(KindOf(code), message ? message : "unknown database error");
}

struct DatabaseCloser {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

// A column's value as SQLite holds it, read in place.
inline DbValueView ViewOf(sqlite3_value* value) {
    DbValueView view;
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            view.kind = DbValue::Kind::Integer;
            view.integer = sqlite3_value_int64(value);
            break;
        case SQLITE_FLOAT:
            view.kind = DbValue::Kind::Real;
            view.real = sqlite3_value_double(value);
            break;
        case SQLITE_TEXT: {
            view.kind = DbValue::Kind::Text;
            const unsigned char* text = sqlite3_value_text(value);  // before the length, as SQLite asks
            int length = sqlite3_value_bytes(value);
            if (text) view.bytes = std::string_view(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
            break;
        }
        case SQLITE_BLOB: {
            view.kind = DbValue::Kind::Blob;
            const void* data = sqlite3_value_blob(value);
            int length = sqlite3_value_bytes(value);
            if (data) view.bytes = std::string_view(static_cast<const char*>(data), static_cast<size_t>(length));
            break;
        }
        default: break;
    }
    return view;
}

class SqliteStatement final : public DbStatement {
public:
    SqliteStatement(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt) {}

    int ParameterCount() const override { return sqlite3_bind_parameter_count(stmt_.get()); }

    std::string ParameterName(int index) const override {
        const char* name = sqlite3_bind_parameter_name(stmt_.get(), index + 1);
        return name ? name : "";
    }

    void Bind(int index, const DbValue& value) override {
        int rc = SQLITE_OK;
        sqlite3_stmt* s = stmt_.get();
        switch (value.kind) {
            case DbValue::Kind::Null: rc = sqlite3_bind_null(s, index + 1); break;
            case DbValue::Kind::Integer: rc = sqlite3_bind_int64(s, index + 1, value.integer); break;
            case DbValue::Kind::Real: rc = sqlite3_bind_double(s, index + 1, value.real); break;
            // Texts and blobs are read in place (the caller keeps them until
            // the reset, which clears the bindings).
            case DbValue::Kind::Text:
                rc =
                    sqlite3_bind_text64(s, index + 1, value.text.data(), value.text.size(), SQLITE_STATIC, SQLITE_UTF8);
                break;
            case DbValue::Kind::Blob:
                // A zero-length blob is still a value, not NULL: bind it as one.
                rc = value.blob.empty()
                         ? sqlite3_bind_zeroblob(s, index + 1, 0)
                         : sqlite3_bind_blob64(s, index + 1, value.blob.data(), value.blob.size(), SQLITE_STATIC);
                break;
        }
        if (rc != SQLITE_OK) Fail(db_, rc);
    }

    bool Step() override {
        int rc = sqlite3_step(stmt_.get());
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        // The message belongs to the failed step; read it before the reset
        // that makes the statement usable again.
        std::string message = sqlite3_errmsg(db_);
        sqlite3_reset(stmt_.get());
        throw DbError(KindOf(rc), message);
    }

    int ColumnCount() const override { return sqlite3_column_count(stmt_.get()); }

    std::string ColumnName(int index) const override {
        const char* name = sqlite3_column_name(stmt_.get(), index);
        return name ? name : "";
    }

    std::string ColumnDeclaredType(int index) const override {
        const char* type = sqlite3_column_decltype(stmt_.get(), index);
        return type ? type : "";
    }

    std::string_view ColumnNameView(int index) const override {
        const char* name = sqlite3_column_name(stmt_.get(), index);
        return name ? std::string_view(name) : std::string_view();
    }

    std::string_view ColumnDeclaredTypeView(int index) const override {
        const char* type = sqlite3_column_decltype(stmt_.get(), index);
        return type ? std::string_view(type) : std::string_view();
    }

    DbValue ColumnValue(int index) const override {
        sqlite3_stmt* s = stmt_.get();
        switch (sqlite3_column_type(s, index)) {
            case SQLITE_INTEGER: return DbValue::Integer(sqlite3_column_int64(s, index));
            case SQLITE_FLOAT: return DbValue::Real(sqlite3_column_double(s, index));
            case SQLITE_TEXT: {
                const unsigned char* text = sqlite3_column_text(s, index);
                int length = sqlite3_column_bytes(s, index);
                return DbValue::Text(std::string(reinterpret_cast<const char*>(text), length));
            }
            case SQLITE_BLOB: {
                const uint8_t* data = static_cast<const uint8_t*>(sqlite3_column_blob(s, index));
                int length = sqlite3_column_bytes(s, index);
                return DbValue::Blob(data ? std::vector<uint8_t>(data, data + length) : std::vector<uint8_t>());
            }
            default: return DbValue::Null();
        }
    }

    DbValueView ColumnView(int index) const override {
        // One lookup of the column, then its value read directly: the
        // sqlite3_column_* calls would each look the column up again. Safe
        // here because a session's statements run on one thread at a time.
        return ViewOf(sqlite3_column_value(stmt_.get(), index));
    }

    void ReadRow(DbValueView* row, int count) const override {
        sqlite3_stmt* s = stmt_.get();
        for (int c = 0; c < count; ++c) row[c] = ViewOf(sqlite3_column_value(s, c));
    }

    void Reset() override {
        sqlite3_reset(stmt_.get());
        sqlite3_clear_bindings(stmt_.get());
    }

    uint64_t PreparedGeneration() const override {
        return static_cast<uint64_t>(sqlite3_stmt_status(stmt_.get(), SQLITE_STMTSTATUS_REPREPARE, 0));
    }

private:
    sqlite3* db_;
    std::unique_ptr<sqlite3_stmt, StatementFinalizer> stmt_;
};

bool IsIdentifierChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '@' ||
           c == '#' || c == '$' || static_cast<unsigned char>(c) >= 0x80;
}

class SqliteSession final : public DbSession {
public:
    SqliteSession(const std::string& path, const SessionOptions& options) {
        sqlite3* raw = nullptr;
        int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        db_.reset(raw);
        if (rc != SQLITE_OK) {
            std::string message = raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
            throw DbError(DbErrorKind::Open, "cannot open database \"" + path + "\": " + message);
        }
        sqlite3_extended_result_codes(raw, 1);
        sqlite3_busy_timeout(raw, options.busyTimeoutMs);
        // WAL may already be set by another connection; the pragma answers
        // with the mode in force, which is kept: some databases (in memory,
        // or on a file system without shared memory) stay in rollback mode.
        rc = sqlite3_exec(
            db_.get(), "PRAGMA journal_mode=WAL",
            [](void* wal, int count, char** values, char**) {
                *static_cast<bool*>(wal) = count == 1 && values[0] && sqlite3_stricmp(values[0], "wal") == 0;
                return 0;
            },
            &wal_, nullptr);
        if (rc != SQLITE_OK) Fail(db_.get(), rc);
        Run("PRAGMA synchronous=NORMAL");
        Run("PRAGMA foreign_keys=ON");
    }

    std::string TranslateStatement(std::string_view tsql) const override {
        // SQLite takes bracketed identifiers, "?" markers and case-insensitive
        // names as they are; only the Unicode prefix of N'...' must go, since
        // SQLite text is Unicode anyway.
        std::string out;
        out.reserve(tsql.size());
        size_t i = 0;
        auto copyQuoted = [&](char close) {
            out += tsql[i++];
            while (i < tsql.size()) {
                char c = tsql[i++];
                out += c;
                if (c == close) {
                    if (i < tsql.size() && tsql[i] == close) {  // doubled: an escaped quote
                        out += tsql[i++];
                        continue;
                    }
                    return;
                }
            }
        };
        while (i < tsql.size()) {
            char c = tsql[i];
            if (c == '\'') {
                copyQuoted('\'');
            } else if (c == '"') {
                copyQuoted('"');
            } else if (c == '[') {
                copyQuoted(']');
            } else if (c == '-' && i + 1 < tsql.size() && tsql[i + 1] == '-') {
                while (i < tsql.size() && tsql[i] != '\n') out += tsql[i++];
            } else if (c == '/' && i + 1 < tsql.size() && tsql[i + 1] == '*') {
                size_t end = tsql.find("*/", i + 2);
                end = (end == std::string_view::npos) ? tsql.size() : end + 2;
                out.append(tsql.substr(i, end - i));
                i = end;
            } else if ((c == 'N' || c == 'n') && i + 1 < tsql.size() && tsql[i + 1] == '\'' &&
                       (i == 0 || !IsIdentifierChar(tsql[i - 1]))) {
                ++i;  // drop the prefix; the literal follows
            } else {
                out += c;
                ++i;
            }
        }
        return out;
    }

    std::unique_ptr<DbStatement> Prepare(const std::string& sql) override {
        sqlite3_stmt* stmt = nullptr;
        const char* tail = nullptr;
        int rc = sqlite3_prepare_v3(db_.get(), sql.c_str(), static_cast<int>(sql.size() + 1), SQLITE_PREPARE_PERSISTENT,
                                    &stmt, &tail);
        if (rc != SQLITE_OK) Fail(db_.get(), rc);
        if (!stmt) throw DbError(DbErrorKind::Command, "the statement is empty");
        auto prepared = std::make_unique<SqliteStatement>(db_.get(), stmt);
        for (; tail && *tail; ++tail) {
            if (*tail != ' ' && *tail != '\t' && *tail != '\r' && *tail != '\n' && *tail != ';')
                throw DbError(DbErrorKind::Command, "more than one statement given to prepare");
        }
        return prepared;
    }

    int64_t Changes() const override { return sqlite3_changes64(db_.get()); }
    int64_t LastInsertId() const override { return sqlite3_last_insert_rowid(db_.get()); }
    bool ReadersBlockWriters() const override { return !wal_; }
    bool InTransaction() const override { return sqlite3_get_autocommit(db_.get()) == 0; }

    void BeginWriteTransaction() override { Run("BEGIN IMMEDIATE"); }
    void Commit() override { Run("COMMIT"); }
    void Rollback() noexcept override {
        if (InTransaction()) sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    }

private:
    void Run(const char* sql) {
        int rc = sqlite3_exec(db_.get(), sql, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK) Fail(db_.get(), rc);
    }

    std::unique_ptr<sqlite3, DatabaseCloser> db_;
    bool wal_ = false;
};

class SqliteProvider final : public DbProvider {
public:
    const char* Name() const override { return "SQLite"; }
    std::unique_ptr<DbSession> Open(const std::string& dataSource, const SessionOptions& options) const override {
        return std::make_unique<SqliteSession>(dataSource, options);
    }
};

}  // namespace

const DbProvider& DefaultProvider() {
    static const SqliteProvider provider;
    return provider;
}

const DbProvider* FindProvider(std::string_view name) {
    const DbProvider& sqlite = DefaultProvider();
    if (EqualsIgnoringAsciiCase(name, sqlite.Name()) || EqualsIgnoringAsciiCase(name, "SQLite3")) return &sqlite;
    return nullptr;
}

}  // namespace wincompat::ado
