// The session itself: one command at a time, its parameters bound and the
// command logged, each statement run and its rows collected.
#include "ado/Session.h"

#include <algorithm>
#include <cstdio>

#include "ado/Errors.h"
#include "common/Trim.h"
#include "ado/StatementCache.h"
#include "ado/StoredProcedures.h"
#include "ado/TextBatches.h"
#include "common/CaseCompare.h"

namespace wincompat::ado {
namespace {

std::string HresultText(HRESULT hr) {
    char buffer[16];
    snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

const char* CommandTypeName(CommandTypeEnum type) {
    switch (type) {
        case adCmdText: return "text";
        case adCmdStoredProc: return "storedproc";
        case adCmdTable: return "table";
        default: return "unknown";
    }
}

LoggedParameter LogRecordOf(const CommandParameter& p, const DbValue& value) {
    const VARTYPE vt = p.converted ? p.converted->vt : p.value.ref().vt;
    return LoggedParameter{Utf16ToUtf8(p.name), DataTypeName(p.type),      DirectionName(p.direction),
                           VariantTypeName(vt), static_cast<long>(p.size), value};
}

// The database values of a command's parameters, each parameter recorded in
// `record` for the statement log when there is one. Parameters for which
// `sendsValue` is false go as NULL; a value that cannot be converted is
// recorded, then fails the command.
template <class SendsValue>
void BindParameters(std::vector<CommandParameter>& parameters, SendsValue&& sendsValue, LoggedCommand* record,
                    std::vector<DbValue>& values) {
    values.resize(parameters.size());
    if (record) record->parameters.reserve(parameters.size());
    for (size_t i = 0; i < parameters.size(); ++i) {
        CommandParameter& p = parameters[i];
        if (sendsValue(p.direction)) {
            std::u16string error;
            HRESULT hr = S_OK;
            if (p.converted) {
                hr = p.converted->hr;
                values[i] = std::move(p.converted->value);
                if (FAILED(hr)) error = std::move(p.converted->error);
            } else {
                hr = ToDbValue(p.value.ref(), p.type, values[i], error);
            }
            if (FAILED(hr)) {
                if (record) record->parameters.push_back(LogRecordOf(p, values[i]));
                throw AdoFailure{hr, error};
            }
        }
        if (record) record->parameters.push_back(LogRecordOf(p, values[i]));
    }
}

// Empties the session's list of bound values when a command is done with
// it, keeping its room for the next command.
struct ClearOnExit {
    std::vector<DbValue>& values;
    ~ClearOnExit() { values.clear(); }
};

// Runs a command and hands `record` (null without a statement log) to `log`
// whatever happens: with the records affected, or with the failure. A
// database's failure leaves in ADO's terms.
template <class Run, class Log>
ExecutionOutcome RunAndLog(LoggedCommand* record, Log&& log, Run&& run) {
    try {
        ExecutionOutcome outcome = run();
        if (record) {
            record->recordsAffected = outcome.recordsAffected;
            log(*record);
        }
        return outcome;
    } catch (const AdoFailure& failure) {
        if (record) {
            record->result = HresultText(failure.hr) + " " + Utf16ToUtf8(failure.description);
            log(*record);
        }
        throw;
    } catch (const DbError& error) {
        AdoFailure failure = FromDbError(error);
        if (record) {
            record->result = HresultText(failure.hr) + " " + Utf16ToUtf8(failure.description);
            log(*record);
        }
        throw failure;
    }
}

}  // namespace

void Session::FinishPending() noexcept {
    if (!pending_) return;
    if (pending_->active.load(std::memory_order_acquire)) {
        std::lock_guard<ObjectLock> guard(pending_->lock);
        if (pending_->statement) pending_->rows->ReadPending(*pending_);
    }
    // Its result set may still read the rows it has; a new query takes a
    // new one then.
    if (pending_.use_count() > 1) pending_.reset();
}

namespace {

// The statement's columns as it reports them now: those of the last run when
// nothing differs (a change of schema can change them under the same text,
// but only by preparing the statement again). Returns `last`, made again
// when they differ.
const std::shared_ptr<const ColumnInfo>& CurrentColumns(const DbStatement& statement, int count,
                                                        std::shared_ptr<const ColumnInfo>& last,
                                                        uint64_t& lastGeneration) {
    const uint64_t generation = statement.PreparedGeneration();
    bool same = last && last->names.size() == static_cast<size_t>(count);
    if (same && generation == lastGeneration) return last;
    for (int c = 0; same && c < count; ++c)
        same = last->names[static_cast<size_t>(c)] == statement.ColumnNameView(c) &&
               last->declared[static_cast<size_t>(c)] == statement.ColumnDeclaredTypeView(c);
    lastGeneration = generation;
    if (same) return last;
    auto info = std::make_shared<ColumnInfo>();
    for (int c = 0; c < count; ++c) {
        info->names.emplace_back(statement.ColumnNameView(c));
        info->declared.emplace_back(statement.ColumnDeclaredTypeView(c));
        info->columns.push_back({Utf8ToUtf16(info->names.back()), ColumnTypeFromDeclared(info->declared.back())});
    }
    last = std::move(info);
    return last;
}

}  // namespace

Session::Session(const ConnectionSettings& settings) : dataSource_(settings.dataSource) {
    db_ = settings.provider->Open(settings.dataSource, settings.options);
    cache_ = std::make_unique<StatementCache>(*db_, kStatementCacheCapacity);
    if (!settings.statementLogPath.empty()) log_ = std::make_unique<StatementLog>(settings.statementLogPath);
}

Session::~Session() {
    std::lock_guard<std::mutex> guard(lock_);
    FinishPending();  // before the statements go
}

size_t Session::cachedStatementCount() const {
    std::lock_guard<std::mutex> guard(lock_);
    return cache_->size();
}

void Session::Log(const LoggedCommand& command) {
    if (log_) log_->Write(command);
}

// The caller resets the statement afterwards, also when this throws, unless
// this returns true: then the statement is the result set's (see ResultSet).
bool Session::RunStatement(PreparedStatement& prepared, RunState& state, bool countsRows, bool isInsert,
                           bool mayLeavePending) {
    DbStatement& statement = *prepared.statement;
    // The columns are asked for after the first step: a statement whose
    // tables changed is prepared again there, and may have other columns.
    bool row = statement.Step();
    const int columns = statement.ColumnCount();
    std::shared_ptr<ResultSet> captured;
    if (columns > 0 && (!state.first || state.trackLastRow)) {
        const std::shared_ptr<const ColumnInfo>& info =
            CurrentColumns(statement, columns, prepared.columns, prepared.columnsGeneration);
        if (!state.first) {
            captured = std::make_shared<ResultSet>(info);
            captured->Reserve(prepared.lastRows, prepared.lastBytes);
        }
        if (state.trackLastRow) state.lastRowColumns = info;
    }
    if (row && captured && mayLeavePending && !countsRows && !state.trackLastRow) {
        if (!pending_) pending_ = std::make_shared<PendingQuery>();
        pending_->statement = &statement;
        pending_->rows = captured.get();
        pending_->lastRows = &prepared.lastRows;
        pending_->lastBytes = &prepared.lastBytes;
        pending_->active.store(true, std::memory_order_relaxed);  // published with the result set
        captured->LeavePending(pending_);
        state.first = std::move(captured);
        return true;
    }
    if (captured && rowBuffer_.size() < static_cast<size_t>(columns)) rowBuffer_.resize(static_cast<size_t>(columns));
    DbValueView* values = rowBuffer_.data();
    for (; row; row = statement.Step()) {
        if (captured) captured->AppendRow(statement, values);
        if (state.trackLastRow) {
            state.lastRow.clear();
            for (int c = 0; c < columns; ++c) state.lastRow.push_back(statement.ColumnValue(c));
        }
    }
    if (captured) {
        captured->ReleaseSpare();
        prepared.lastRows = captured->RowCount();
        prepared.lastBytes = captured->ByteCount();
    }
    if (countsRows) {
        const int64_t changes = db_->Changes();
        if (isInsert && changes > 0) {
            state.haveIdentity = true;
            state.identity = db_->LastInsertId();
        }
        if (!state.noCount) state.affected = (state.affected < 0 ? 0 : state.affected) + changes;
    }
    if (captured) state.first = std::move(captured);
    return false;
}

ExecutionOutcome Session::ExecuteText(const SharedText& text, std::vector<CommandParameter>& parameters,
                                      CommandTypeEnum typeForLog) {
    std::lock_guard<std::mutex> guard(lock_);
    FinishPending();
    std::vector<DbValue>& values = boundValues_;
    ClearOnExit clear{values};
    // Made only for a statement log: even an empty record costs a clearing
    // of its room on every command.
    std::unique_ptr<LoggedCommand> record;
    if (log_) {
        record = std::make_unique<LoggedCommand>();
        record->commandType = CommandTypeName(typeForLog);
        record->text = Utf16ToUtf8(*text);
    }
    LoggedCommand* logging = record.get();
    return RunAndLog(
        logging, [this](const LoggedCommand& logged) { Log(logged); },
        [&] {
            BindParameters(
                parameters, [](ParameterDirectionEnum direction) { return direction != adParamOutput; }, logging,
                values);
            BatchPlan& plan = typeForLog == adCmdTable ? PlanFor(u"SELECT * FROM " + *text) : PlanFor(text);
            return RunText(plan, values);  // no outputs: a text command fills no parameters
        });
}

ExecutionOutcome Session::ExecuteProcedure(const std::u16string& name, std::vector<CommandParameter>& parameters) {
    std::lock_guard<std::mutex> guard(lock_);
    FinishPending();
    std::vector<DbValue>& values = boundValues_;
    ClearOnExit clear{values};
    LoggedCommand record;
    record.commandType = "storedproc";
    record.text = Utf16ToUtf8(name);
    LoggedCommand* logging = log_ ? &record : nullptr;
    return RunAndLog(
        logging, [this](const LoggedCommand& logged) { Log(logged); },
        [&] {
            BindParameters(
                parameters,
                [](ParameterDirectionEnum direction) {
                    return direction == adParamInput || direction == adParamInputOutput;
                },
                logging, values);
            // "[name]", "dbo.name" and "[dbo].[name]" name the same procedure, as
            // on the server.
            std::string procedure(TrimSpace(record.text));
            procedure.erase(
                std::remove_if(procedure.begin(), procedure.end(), [](char c) { return c == '[' || c == ']'; }),
                procedure.end());
            if (procedure.size() > 4 && EqualsIgnoringAsciiCase(procedure.substr(0, 4), "dbo.")) procedure.erase(0, 4);
            return RunProcedure(procedure, parameters, values, logging ? &record.parameters : nullptr);
        });
}

}  // namespace wincompat::ado
