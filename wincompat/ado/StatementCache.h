// A session's prepared statements: kept by their text, the least recently
// used let go first, and reset whenever a command is done with them.
#pragma once
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "ado/Session.h"

namespace wincompat::ado {

// How many prepared statements a session keeps, and how many plans of
// command texts and of procedures.
constexpr size_t kStatementCacheCapacity = 256;

// Resets a statement when the scope ends, also when a throw ends it.
struct ResetOnExit {
    DbStatement* statement;  // null: left to whoever holds it now
    ~ResetOnExit() {
        if (statement) statement->Reset();
    }
};

// A prepared statement and what its result columns were when it last ran.
struct Session::PreparedStatement {
    std::unique_ptr<DbStatement> statement;
    std::shared_ptr<const ColumnInfo> columns;
    uint64_t columnsGeneration = 0;  // the statement's PreparedGeneration when `columns` were read
    // The size of the rows it returned last: the same query tends to return
    // about as much again.
    size_t lastRows = 0;
    size_t lastBytes = 0;
};

struct Session::CachedStatement {
    PreparedStatement prepared;
    std::list<std::string>::iterator position;
};

class Session::StatementCache {
public:
    StatementCache(DbSession& db, size_t capacity) : db_(db), capacity_(capacity) {}

    // The prepared statement for this text, prepared now if it is not cached.
    // Valid until the next Get. `slot`, kept by the caller with the text,
    // finds the statement again without looking the text up.
    PreparedStatement& Get(const std::string& sql, StatementSlot& slot) {
        if (slot.entry && slot.evictions == evictions_) {
            CachedStatement& entry = *slot.entry;
            // Commands mostly run the statement run last: it is in front already.
            if (entry.position != order_.begin()) order_.splice(order_.begin(), order_, entry.position);
            return entry.prepared;
        }
        CachedStatement& entry = Find(sql);
        slot.entry = &entry;
        slot.evictions = evictions_;
        return entry.prepared;
    }
    size_t size() const { return entries_.size(); }

private:
    CachedStatement& Find(const std::string& sql) {
        auto found = entries_.find(sql);
        if (found != entries_.end()) {
            order_.splice(order_.begin(), order_, found->second.position);
            return found->second;
        }
        std::unique_ptr<DbStatement> prepared = db_.Prepare(sql);
        if (entries_.size() >= capacity_) {
            entries_.erase(order_.back());
            order_.pop_back();
            ++evictions_;  // every slot handed out may name the entry just gone
        }
        order_.push_front(sql);
        CachedStatement& entry = entries_[sql];
        entry.prepared.statement = std::move(prepared);
        entry.position = order_.begin();
        return entry;
    }

    DbSession& db_;
    size_t capacity_;
    uint64_t evictions_ = 0;
    std::list<std::string> order_;                              // most recently used first
    std::unordered_map<std::string, CachedStatement> entries_;  // entries stay where they are until erased
};

}  // namespace wincompat::ado
