// The rows a command returns, as the session fills them and the recordset
// reads them, and the query whose rows are still being read from its
// statement.
#pragma once
#include <windows.h>

#include <adoint.h>

#include <atomic>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ado/ObjectLock.h"
#include "ado/Provider.h"
#include "ado/Values.h"

namespace wincompat::ado {

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
    ObjectLock lock;                   // taken on every read of the first row; rarely contended
    DbStatement* statement = nullptr;  // null once read to the end or let go
    // Whether `statement` is set, readable without the lock: the session
    // looks before every command.
    std::atomic<bool> active{false};
    ResultSet* rows = nullptr;   // the result set reading it
    size_t* lastRows = nullptr;  // the statement's size hints, updated when read to the end
    size_t* lastBytes = nullptr;
    std::vector<DbValue> values;  // the values bound to it, kept until its reset

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
    // them copies nothing already stored. Inline, as every query's result
    // set is made with it.
    void Reserve(size_t rows, size_t bytes) {
        const size_t cells = rows * info_->columns.size();
        if (cells > cellCapacity_) GrowCells(cells);
        if (bytes > byteCapacity_) GrowBytes(bytes);
    }
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

}  // namespace wincompat::ado
