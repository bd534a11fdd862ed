// The database provider behind the ADO objects. The COM objects of this
// folder speak only to these interfaces; each database engine (SQLite today,
// others later) implements them in a file of its own and registers itself by
// the name used as "Provider=" in connection strings.
//
// Providers report failures by throwing DbError; the ADO layer catches it at
// its COM boundary and turns it into an HRESULT and error information.
#pragma once
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace wincompat::ado {

// One value as it travels to and from the database. Text is UTF-8.
struct DbValue {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string text;
    std::vector<uint8_t> blob;

    static DbValue Null() { return {}; }
    static DbValue Integer(int64_t v) {
        DbValue d;
        d.kind = Kind::Integer;
        d.integer = v;
        return d;
    }
    static DbValue Real(double v) {
        DbValue d;
        d.kind = Kind::Real;
        d.real = v;
        return d;
    }
    static DbValue Text(std::string v) {
        DbValue d;
        d.kind = Kind::Text;
        d.text = std::move(v);
        return d;
    }
    static DbValue Blob(std::vector<uint8_t> v) {
        DbValue d;
        d.kind = Kind::Blob;
        d.blob = std::move(v);
        return d;
    }
    bool IsNull() const { return kind == Kind::Null; }
};

// A value read in place: the bytes of a text (UTF-8) or blob stay where their
// owner keeps them (a statement until its next Step or Reset).
struct DbValueView {
    DbValue::Kind kind = DbValue::Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string_view bytes;

    static DbValueView Of(const DbValue& value) {
        DbValueView view;
        view.kind = value.kind;
        view.integer = value.integer;
        view.real = value.real;
        if (value.kind == DbValue::Kind::Text) view.bytes = value.text;
        if (value.kind == DbValue::Kind::Blob)
            view.bytes = std::string_view(reinterpret_cast<const char*>(value.blob.data()), value.blob.size());
        return view;
    }
    bool IsNull() const { return kind == DbValue::Kind::Null; }
};

// What went wrong, in the terms the ADO layer maps to HRESULTs.
enum class DbErrorKind {
    Command,     // the statement was refused (syntax, unknown object, bad parameter)
    Constraint,  // a key, foreign-key, NOT NULL or CHECK constraint refused the change
    Busy,        // another connection held the database for longer than the busy timeout
    Conversion,  // a value could not be converted to the type the statement needs
    Open,        // the database could not be opened
    Other,       // I/O errors, corruption, out of memory
};

class DbError : public std::runtime_error {
public:
    DbError(DbErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    DbErrorKind kind() const { return kind_; }

private:
    DbErrorKind kind_;
};

// One prepared statement. Parameters and columns are numbered from 0.
class DbStatement {
public:
    virtual ~DbStatement() = default;
    virtual int ParameterCount() const = 0;
    // "@Name" for a named parameter, empty for a positional "?".
    virtual std::string ParameterName(int index) const = 0;
    // The statement may read `value` in place: it must stay as it is until
    // the statement is reset.
    virtual void Bind(int index, const DbValue& value) = 0;
    // Runs to the next row: true when a row is available, false when done.
    virtual bool Step() = 0;
    virtual int ColumnCount() const = 0;
    virtual std::string ColumnName(int index) const = 0;
    // The type the column was declared with in its table ("int", "bit",
    // "datetime", ...), empty for an expression.
    virtual std::string ColumnDeclaredType(int index) const = 0;
    // The same two without a copy, valid until the statement next runs.
    virtual std::string_view ColumnNameView(int index) const = 0;
    virtual std::string_view ColumnDeclaredTypeView(int index) const = 0;
    virtual DbValue ColumnValue(int index) const = 0;
    // The same value without a copy, valid until the next Step or Reset.
    virtual DbValueView ColumnView(int index) const = 0;
    // Columns 0 to count - 1 of the current row into `row`, as ColumnView
    // reads them: one call per row instead of one per value.
    virtual void ReadRow(DbValueView* row, int count) const {
        for (int c = 0; c < count; ++c) row[c] = ColumnView(c);
    }
    // Makes the statement ready to run again and clears its bindings.
    virtual void Reset() = 0;
    // How often the engine has prepared the statement again by itself (after
    // a change of schema): its columns can change only when this does.
    virtual uint64_t PreparedGeneration() const = 0;
};

struct SessionOptions {
    int busyTimeoutMs = 30000;
};

// One open database connection. Used by one thread at a time.
class DbSession {
public:
    virtual ~DbSession() = default;
    // Turns one T-SQL statement (as the plug-ins write it: bracketed
    // identifiers, N'...' literals, "?" markers) into the engine's dialect.
    virtual std::string TranslateStatement(std::string_view tsql) const = 0;
    virtual std::unique_ptr<DbStatement> Prepare(const std::string& sql) = 0;
    // Rows inserted, updated or deleted by the most recent such statement.
    virtual int64_t Changes() const = 0;
    // The key that the most recent successful INSERT generated.
    virtual int64_t LastInsertId() const = 0;
    virtual bool InTransaction() const = 0;
    // Whether a statement left open on a row keeps other connections from
    // writing (a rollback journal's shared lock) rather than only from
    // checkpointing past it (write-ahead logging).
    virtual bool ReadersBlockWriters() const { return true; }
    // A transaction that takes the write lock at once, so that two writers
    // queue on the busy timeout instead of deadlocking on a lock upgrade.
    virtual void BeginWriteTransaction() = 0;
    virtual void Commit() = 0;
    virtual void Rollback() noexcept = 0;
};

class DbProvider {
public:
    virtual ~DbProvider() = default;
    virtual const char* Name() const = 0;
    virtual std::unique_ptr<DbSession> Open(const std::string& dataSource, const SessionOptions& options) const = 0;
};

// The provider registered under this name (compared without regard to case),
// or null.
const DbProvider* FindProvider(std::string_view name);
// The provider used when a connection string names none.
const DbProvider& DefaultProvider();

}  // namespace wincompat::ado
