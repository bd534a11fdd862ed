// A command's rows: read on from the statement left pending when asked for,
// and kept in one buffer of cells and one of bytes.
#include "ado/ResultSet.h"

#include <algorithm>
#include <mutex>

namespace wincompat::ado {

ResultSet::~ResultSet() {
    if (!pending_) return;
    // Let go unread: the statement is reset at once, which ends its read.
    std::lock_guard<ObjectLock> guard(pending_->lock);
    if (StillPending()) pending_->LetGo();
}

void ResultSet::ReadPending(PendingQuery& query) {
    DbStatement& statement = *query.statement;
    try {
        std::vector<DbValueView> values(info_->columns.size());
        do AppendRow(statement, values.data());  // from the first row, where the statement is
        while (statement.Step());
        ReleaseSpare();
        if (query.lastRows) *query.lastRows = rows_;
        if (query.lastBytes) *query.lastBytes = byteCount_;
    } catch (...) {
        // The rows read so far stay; the failure goes to whoever asks for more.
        failure_ = std::current_exception();
    }
    query.LetGo();
    complete_.store(true, std::memory_order_release);
}

void ResultSet::ReadToEnd() {
    if (complete_.load(std::memory_order_acquire)) return;
    std::lock_guard<ObjectLock> guard(pending_->lock);
    if (StillPending()) ReadPending(*pending_);
}

bool ResultSet::HasPendingRow(size_t row) {
    {
        std::lock_guard<ObjectLock> guard(pending_->lock);
        if (StillPending()) {
            if (row == 0) return true;
            ReadPending(*pending_);
        }
    }
    return HasReadRow(row);
}

HRESULT ResultSet::CopyPending(size_t row, size_t column, VARIANT* out) {
    std::lock_guard<ObjectLock> guard(pending_->lock);
    if (StillPending()) {
        if (row == 0)
            return ToVariant(pending_->statement->ColumnView(static_cast<int>(column)), info_->columns[column].type,
                             out);
        ReadPending(*pending_);
    }
    return ToVariant(CellAt(row, column), info_->columns[column].type, out);
}

void ResultSet::GrowCells(size_t needed) {
    std::vector<Cell> grown(std::max(needed, cellCapacity_ * 2));
    if (cellCount_) std::memcpy(grown.data(), cells_, cellCount_ * sizeof(Cell));
    heapCells_.swap(grown);
    cells_ = heapCells_.data();
    cellCapacity_ = heapCells_.size();
}

void ResultSet::GrowBytes(size_t needed) {
    std::vector<char> grown(std::max(needed, byteCapacity_ * 2));
    if (byteCount_) std::memcpy(grown.data(), bytes_, byteCount_);
    heapBytes_.swap(grown);
    bytes_ = heapBytes_.data();
    byteCapacity_ = heapBytes_.size();
}

void ResultSet::ReleaseSpare() {
    // Only when most of the room is unused: a copy is dearer than some slack.
    // What fits the inline arrays goes back there.
    if (cells_ != inlineCells_ && cellCapacity_ / 2 > cellCount_) {
        std::vector<Cell> exact;
        Cell* to = inlineCells_;
        if (cellCount_ > kInlineCells) {
            exact.resize(cellCount_);
            to = exact.data();
        }
        if (cellCount_) std::memcpy(to, cells_, cellCount_ * sizeof(Cell));
        heapCells_.swap(exact);
        cells_ = to;
        cellCapacity_ = to == inlineCells_ ? kInlineCells : cellCount_;
    }
    if (bytes_ != inlineBytes_ && byteCapacity_ / 2 > byteCount_) {
        std::vector<char> exact;
        char* to = inlineBytes_;
        if (byteCount_ > kInlineBytes) {
            exact.resize(byteCount_);
            to = exact.data();
        }
        if (byteCount_) std::memcpy(to, bytes_, byteCount_);
        heapBytes_.swap(exact);
        bytes_ = to;
        byteCapacity_ = to == inlineBytes_ ? kInlineBytes : byteCount_;
    }
}

}  // namespace wincompat::ado
