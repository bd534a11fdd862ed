// One open ADO connection's database side, independent of COM: the provider
// session, its cache of prepared statements, the statement log, and the
// execution of T-SQL batches and stored procedures.
//
// Stored procedures live in the database, in the table
//
//   StoredProcedures (Name TEXT PRIMARY KEY COLLATE NOCASE,
//                     Parameters TEXT NOT NULL, Body TEXT NOT NULL)
//
// Parameters lists the parameters in calling order, separated by commas, each
// "@Name [type] [OUTPUT]" as T-SQL declares them (the type is documentation).
// Body holds statements in the database's own dialect, separated by ";",
// that refer to the parameters as @Name. A call binds the command's
// parameters by position, runs the body in one write transaction, returns the
// body's first result set, and fills each output parameter from the column of
// the same name (with or without "@") of the last row that the body's queries
// produced; an output parameter with no such column receives NULL.
#pragma once
#include <windows.h>

#include <adoint.h>

#include "ado/tsql.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ado/object_lock.h"
#include "ado/provider.h"
#include "ado/statement_log.h"
#include "ado/values.h"

namespace wincompat::ado {

struct ConnectionSettings {
    const DbProvider* provider = nullptr;
    std::string dataSource;
    std::string statementLogPath;  // empty: no log
    SessionOptions options;
};

// Parses "Provider=SQLite;Data Source=PATH;..." (keywords without regard to
// case, values optionally quoted with " or '). Throws AdoFailure for unknown
// keywords or providers and for a missing Data Source.
ConnectionSettings ParseConnectionString(const std::u16string& text);

// A parameter's value converted for the database (ToDbValue) when the
// parameter was read, instead of a copy of its VARIANT; a failed conversion
// fails the command only where the value is bound.
struct ConvertedValue {
    HRESULT hr = S_OK;
    std::u16string error;  // the description of a failed conversion
    DbValue value;
    VARTYPE vt = VT_EMPTY;  // of the VARIANT converted, for the statement log
};

struct CommandParameter {
    std::u16string name;
    DataTypeEnum type = adEmpty;
    ParameterDirectionEnum direction = adParamInput;
    ADO_LONGPTR size = 0;
    VariantHolder value;  // unused while `converted` is set
    std::optional<ConvertedValue> converted;
};

struct ResultColumn {
    std::u16string name;
    DataTypeEnum type = adEmpty;
};

// The result columns of a statement: as the database names and declares
// them, and as ADO gives them.
struct ColumnInfo {
    std::vector<std::string> names;     // UTF-8, as the database reports them
    std::vector<std::string> declared;  // declared types, empty for expressions
    std::vector<ResultColumn> columns;
};

class ResultSet;

// A query left on its first row (see ResultSet): shared by the session that
// ran it and by its result set, whichever of them goes on first. Everything
// here is guarded by `lock`; while `statement` is set, nobody else uses the
// session's database.
struct PendingQuery {
    ObjectLock lock;  // taken on every read of the first row; rarely contended
    DbStatement* statement = nullptr;  // null once read to the end or let go
    // Whether `statement` is set, readable without the lock: the session
    // looks before every command.
    std::atomic<bool> active{false};
    ResultSet* rows = nullptr;         // the result set reading it
    size_t* lastRows = nullptr;        // the statement's size hints, updated when read to the end
    size_t* lastBytes = nullptr;
    std::vector<DbValue> values;       // the values bound to it, kept until its reset

    // Resets the statement, which ends its read, and lets go of it.
    void LetGo() {
        statement->Reset();
        values.clear();
        statement = nullptr;
        rows = nullptr;
        active.store(false, std::memory_order_release);
    }
};

// The rows a command returned. The values stay as the database gave them,
// their bytes in one buffer, and become VARIANTs (by the column's type) only
// when they are read. A result of a few rows fits in the object itself: most
// commands return one row or none, and need no allocation beyond the result
// set's own.
//
// A query's rows may be left in the statement, positioned on the first row,
// when the command ran (as ADO's default cursor streams them): the first row
// is read from there, and the rest are read when a caller moves past it, asks
// for the count, or lets the result set go, or when the session runs its
// next command, whichever comes first. A failure while reading on is
// reported to the caller that asks for the rows beyond those read.
class ResultSet {
public:
    explicit ResultSet(std::shared_ptr<const ColumnInfo> columns) : info_(std::move(columns)) {}
    ~ResultSet();
    ResultSet(const ResultSet&) = delete;  // points into itself
    ResultSet& operator=(const ResultSet&) = delete;

    const std::vector<ResultColumn>& columns() const { return info_->columns; }
    // Whether there is a row `row` (0-based); reads on only when the rows
    // read so far do not tell.
    bool HasRow(size_t row) {
        if (!complete_.load(std::memory_order_acquire)) return HasPendingRow(row);
        return HasReadRow(row);
    }
    // Reads on to the end first; throws what stopped the reading.
    size_t RowCount() {
        ReadToEnd();
        RethrowFailure();
        return rows_;
    }
    // `out` need not be initialised.
    HRESULT CopyTo(size_t row, size_t column, VARIANT* out) {
        if (!complete_.load(std::memory_order_acquire)) return CopyPending(row, column, out);
        return ToVariant(CellAt(row, column), info_->columns[column].type, out);
    }
    // `row` below RowCount(); reads on to the end first.
    DbValueView ValueAt(size_t row, size_t column) {
        ReadToEnd();
        return CellAt(row, column);
    }
    void ReadToEnd();

    // Filling, by the session.
    // Leaves the rest of the rows in `query`'s statement, on its first row.
    void LeavePending(std::shared_ptr<PendingQuery> query) {
        pending_ = std::move(query);
        complete_.store(false, std::memory_order_release);
    }
    // Reads the pending rows into the result set; `query.lock` is held.
    void ReadPending(PendingQuery& query);
    // Room for this many rows and bytes of text and blobs, so that appending
    // them copies nothing already stored.
    void Reserve(size_t rows, size_t bytes);
    // Values are appended row by row, one per column; EndRow closes each row.
    // Inline, as this runs for every value a query returns.
    void Append(const DbValueView& value) {
        if (cellCount_ == cellCapacity_) GrowCells(cellCount_ + 1);
        Cell& cell = cells_[cellCount_++];
        cell.kind = value.kind;
        if (value.kind == DbValue::Kind::Real)
            cell.real = value.real;
        else
            cell.integer = value.kind == DbValue::Kind::Integer ? value.integer : 0;
        cell.offset = byteCount_;
        cell.length = value.bytes.size();
        if (!value.bytes.empty()) {
            if (value.bytes.size() > byteCapacity_ - byteCount_) GrowBytes(byteCount_ + value.bytes.size());
            std::memcpy(bytes_ + byteCount_, value.bytes.data(), value.bytes.size());
            byteCount_ += value.bytes.size();
        }
    }
    void EndRow() { ++rows_; }
    // The statement's current row, read through `values` (room for a value
    // per column).
    void AppendRow(const DbStatement& statement, DbValueView* values) {
        const int count = static_cast<int>(info_->columns.size());
        statement.ReadRow(values, count);
        for (int c = 0; c < count; ++c) Append(values[c]);
        EndRow();
    }
    // Gives back room reserved beyond what the rows need.
    void ReleaseSpare();
    size_t ByteCount() const { return byteCount_; }

private:
    struct Cell {
        DbValue::Kind kind;
        union {
            int64_t integer;  // Kind::Integer
            double real;      // Kind::Real
        };
        size_t offset;  // Kind::Text and Kind::Blob
        size_t length;
    };
    static constexpr size_t kInlineCells = 16;
    static constexpr size_t kInlineBytes = 256;
    // Move the values to the heap with room for at least `needed`.
    void GrowCells(size_t needed);
    void GrowBytes(size_t needed);
    bool HasPendingRow(size_t row);
    // Among the rows read; past them, throws what stopped the reading.
    bool HasReadRow(size_t row) const {
        if (row < rows_) return true;
        RethrowFailure();
        return false;
    }
    // Whether this result set's rows are still in `pending_`'s statement;
    // its lock is held.
    bool StillPending() const { return pending_->statement && pending_->rows == this; }
    // A value of the rows read so far.
    DbValueView CellAt(size_t row, size_t column) const {
        const Cell& cell = cells_[row * info_->columns.size() + column];
        DbValueView view;
        view.kind = cell.kind;
        if (cell.kind == DbValue::Kind::Integer) view.integer = cell.integer;
        if (cell.kind == DbValue::Kind::Real) view.real = cell.real;
        view.bytes = std::string_view(bytes_ + cell.offset, cell.length);
        return view;
    }

    HRESULT CopyPending(size_t row, size_t column, VARIANT* out);
    void RethrowFailure() const {
        if (failure_) std::rethrow_exception(failure_);
    }

    std::shared_ptr<const ColumnInfo> info_;  // shared by every run of the statement
    // Set while rows may still be in a statement; `complete_` says when they
    // are all here, so that reading them afterwards takes no lock.
    std::shared_ptr<PendingQuery> pending_;
    std::atomic<bool> complete_{true};
    std::exception_ptr failure_;  // why reading on stopped, when it failed
    size_t rows_ = 0;
    // The cells and bytes are in the inline arrays until they outgrow them.
    Cell* cells_ = inlineCells_;
    size_t cellCount_ = 0;
    size_t cellCapacity_ = kInlineCells;
    char* bytes_ = inlineBytes_;
    size_t byteCount_ = 0;
    size_t byteCapacity_ = kInlineBytes;
    std::vector<Cell> heapCells_;
    std::vector<char> heapBytes_;
    Cell inlineCells_[kInlineCells];
    char inlineBytes_[kInlineBytes];
};

// A command's text as commands share it with each run: never changed once
// made, so the same object is the same text.
using SharedText = std::shared_ptr<const std::u16string>;

struct ExecutionOutcome {
    std::shared_ptr<ResultSet> resultSet;  // null: the command returned no rows
    int64_t recordsAffected = -1;
    // Per command parameter of a procedure; set for output parameters only.
    std::vector<std::unique_ptr<VariantHolder>> outputs;
};

class Session {
public:
    // Throws DbError when the database or the log cannot be opened.
    explicit Session(const ConnectionSettings& settings);
    ~Session();

    // Both serialise on the session: one command at a time per connection.
    // Throw AdoFailure or DbError; the command is logged either way.
    // Converted parameter values are moved out of `parameters`.
    ExecutionOutcome ExecuteText(const SharedText& text, std::vector<CommandParameter>& parameters,
                                 CommandTypeEnum typeForLog);
    // For a text not shared with any command: its plan is found by its units.
    ExecutionOutcome ExecuteText(const std::u16string& text, std::vector<CommandParameter>& parameters,
                                 CommandTypeEnum typeForLog) {
        return ExecuteText(std::make_shared<const std::u16string>(text), parameters, typeForLog);
    }
    ExecutionOutcome ExecuteProcedure(const std::u16string& name, std::vector<CommandParameter>& parameters);

    const std::string& dataSource() const { return dataSource_; }
    // Whether commands are written to a statement log (fixed when opened).
    bool logging() const { return log_ != nullptr; }
    size_t cachedStatementCount() const;

private:
    class StatementCache;
    struct PreparedStatement;
    struct CachedStatement;
    // Where a text's prepared statement was last found in the cache: valid
    // while the cache has evicted nothing since.
    struct StatementSlot {
        CachedStatement* entry = nullptr;
        uint64_t evictions = 0;
    };
    struct RunState;
    struct BatchPlan;

    // The batch split into statements and each translated, remembered by the
    // batch's text: the plug-ins send the same few texts over and over.
    BatchPlan& PlanFor(const std::u16string& text);
    // The same, found first among the plans of the last few text objects run.
    BatchPlan& PlanFor(const SharedText& text);

    ExecutionOutcome RunText(BatchPlan& plan, const std::vector<DbValue>& values);
    struct ProcedurePlan;
    // The plan of the procedure of this name as StoredProcedures now defines
    // it; throws AdoFailure when there is no such procedure.
    ProcedurePlan& ProcedureFor(const std::string& name);
    // `logged`: the statement log's records of the parameters, null without a log.
    ExecutionOutcome RunProcedure(const std::string& name, const std::vector<CommandParameter>& parameters,
                                  std::vector<DbValue>& values, std::vector<LoggedParameter>* logged);
    // `mayLeavePending`: the statement's rows may stay in it (see ResultSet);
    // true when they did, and the caller must not reset it.
    bool RunStatement(PreparedStatement& prepared, RunState& state, bool countsRows, bool isInsert,
                      bool mayLeavePending = false);
    // Reads the rows of the query left pending, if any, so that the database
    // is free for the next statement. Called with `lock_` held.
    void FinishPending() noexcept;
    void Log(const LoggedCommand& command);

    mutable std::mutex lock_;
    std::string dataSource_;
    std::unique_ptr<DbSession> db_;
    std::unique_ptr<StatementCache> cache_;
    // Command texts compared and hashed as bytes: the standard library's
    // char16_t comparison goes unit by unit, and below a few entries its maps
    // compare every key instead of hashing. The hash takes eight bytes a step:
    // it runs on every command, over texts of some hundred bytes.
    struct TextHash {
        size_t operator()(const std::u16string& text) const noexcept {
            constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
            const char* bytes = reinterpret_cast<const char*>(text.data());
            size_t left = text.size() * sizeof(char16_t);
            uint64_t h = left * kMultiplier;
            for (; left >= 8; left -= 8, bytes += 8) {
                uint64_t word;
                std::memcpy(&word, bytes, 8);
                h = (h ^ word) * kMultiplier;
                h ^= h >> 29;
            }
            if (left > 0) {
                uint64_t word = 0;
                std::memcpy(&word, bytes, left);
                h = (h ^ word) * kMultiplier;
            }
            h ^= h >> 32;
            return static_cast<size_t>(h);
        }
    };
    struct TextEqual {
        bool operator()(const std::u16string& a, const std::u16string& b) const noexcept {
            return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(char16_t)) == 0;
        }
    };
    std::unordered_map<std::u16string, std::unique_ptr<BatchPlan>, TextHash, TextEqual> plans_;  // by the command's text
    // The plans of the text objects run last: commands share their text with
    // each run, so a command run again brings the same object, found without
    // hashing or comparing the text. Holding the text keeps its address from
    // being given to another text.
    struct RecentPlan {
        SharedText text;
        BatchPlan* plan = nullptr;  // owned by plans_
    };
    static constexpr size_t kRecentPlans = 4;
    RecentPlan recentPlans_[kRecentPlans];
    size_t nextRecentPlan_ = 0;
    std::unordered_map<std::string, std::unique_ptr<ProcedurePlan>> procedures_;  // by the name called
    StatementSlot procedureLookup_;  // the statement that reads a procedure's row
    std::unique_ptr<StatementLog> log_;
    // The values a command binds, kept between commands (empty) for the room.
    std::vector<DbValue> boundValues_;
    // One row's values as the statement gives them, kept for the room.
    std::vector<DbValueView> rowBuffer_;
    // The query whose rows are still in its statement, or null; kept
    // between queries for reuse once its result set has let go of it.
    std::shared_ptr<PendingQuery> pending_;
};

}  // namespace wincompat::ado
