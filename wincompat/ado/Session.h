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

#include "ado/TSql.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ado/ConnectionString.h"
#include "ado/Provider.h"
#include "ado/ResultSet.h"
#include "ado/StatementLog.h"
#include "ado/Values.h"

namespace wincompat::ado {

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
    std::unordered_map<std::u16string, std::unique_ptr<BatchPlan>, TextHash, TextEqual>
        plans_;  // by the command's text
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
