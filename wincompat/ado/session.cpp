#include "ado/session.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "ado/errors.h"

namespace wincompat::ado {
namespace {

constexpr size_t kStatementCacheCapacity = 256;

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

std::string_view WithoutAt(std::string_view name) { return (!name.empty() && name[0] == '@') ? name.substr(1) : name; }

std::string TrimCopy(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    return std::string(text.substr(b, e - b));
}

// Collapses a connection-string keyword: case and runs of blanks do not matter.
std::string NormalizeKeyword(std::string_view key) {
    std::string out;
    bool blank = false;
    for (char c : TrimCopy(key)) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += Fold(c);
    }
    return out;
}

[[noreturn]] void BadConnectionString(const std::string& message) { throw AdoFailure{E_FAIL, Utf8ToUtf16(message)}; }

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

bool IsOutput(ParameterDirectionEnum d) { return d == adParamOutput || d == adParamInputOutput; }

struct ProcedureParameter {
    std::string name;
    bool output = false;
};

std::vector<ProcedureParameter> ParseProcedureParameters(const std::string& list) {
    std::vector<ProcedureParameter> result;
    std::vector<std::string> items;
    std::string current;
    int depth = 0;
    for (char c : list) {
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (c == ',' && depth == 0) {
            items.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    items.push_back(current);
    for (const std::string& item : items) {
        std::vector<std::string> words;
        std::string word;
        for (char c : item + " ") {
            if (std::isspace(static_cast<unsigned char>(c))) {
                if (!word.empty()) words.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        if (words.empty()) continue;
        if (words.front()[0] != '@')
            throw DbError(DbErrorKind::Command, "bad parameter list in a stored procedure definition: \"" + item + "\"");
        ProcedureParameter p;
        p.name = words.front();
        p.output = words.size() > 1 && (SameNoCase(words.back(), "OUTPUT") || SameNoCase(words.back(), "OUT"));
        result.push_back(p);
    }
    return result;
}

struct ResetOnExit {
    DbStatement* statement;  // null: left to whoever holds it now
    ~ResetOnExit() {
        if (statement) statement->Reset();
    }
};

LoggedParameter LogRecordOf(const CommandParameter& p, const DbValue& value) {
    const VARTYPE vt = p.converted ? p.converted->vt : p.value.ref().vt;
    return LoggedParameter{Utf16ToUtf8(p.name), DataTypeName(p.type), DirectionName(p.direction), VariantTypeName(vt),
                           static_cast<long>(p.size), value};
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

ConnectionSettings ParseConnectionString(const std::u16string& text) {
    ConnectionSettings settings;
    const std::string s = Utf16ToUtf8(text);
    bool haveSource = false;
    size_t i = 0;
    while (i < s.size()) {
        size_t eq = s.find('=', i);
        size_t semicolon = s.find(';', i);
        if (eq == std::string::npos || (semicolon != std::string::npos && semicolon < eq)) {
            std::string stray = TrimCopy(s.substr(i, semicolon == std::string::npos ? std::string::npos : semicolon - i));
            if (!stray.empty()) BadConnectionString("Invalid connection string attribute: \"" + stray + "\" has no value.");
            if (semicolon == std::string::npos) break;
            i = semicolon + 1;
            continue;
        }
        std::string key = NormalizeKeyword(s.substr(i, eq - i));
        size_t j = eq + 1;
        while (j < s.size() && (s[j] == ' ' || s[j] == '\t')) ++j;
        std::string value;
        if (j < s.size() && (s[j] == '"' || s[j] == '\'')) {
            char quote = s[j++];
            bool closed = false;
            while (j < s.size()) {
                if (s[j] == quote) {
                    if (j + 1 < s.size() && s[j + 1] == quote) {
                        value += quote;
                        j += 2;
                        continue;
                    }
                    ++j;
                    closed = true;
                    break;
                }
                value += s[j++];
            }
            if (!closed) BadConnectionString("Invalid connection string: unterminated quoted value of \"" + key + "\".");
            while (j < s.size() && s[j] != ';') {
                if (!std::isspace(static_cast<unsigned char>(s[j])))
                    BadConnectionString("Invalid connection string: text after the quoted value of \"" + key + "\".");
                ++j;
            }
        } else {
            size_t end = s.find(';', j);
            value = TrimCopy(s.substr(j, end == std::string::npos ? std::string::npos : end - j));
            j = end == std::string::npos ? s.size() : end;
        }
        i = j < s.size() ? j + 1 : s.size();

        if (key == "provider") {
            settings.provider = FindProvider(value);
            if (!settings.provider) {
                AdoFailure failure = ProviderNotFound();
                failure.description += Utf8ToUtf16(" (Provider=" + value + "; the available provider is SQLite.)");
                throw failure;
            }
        } else if (key == "data source") {
            settings.dataSource = value;
            haveSource = true;
        } else if (key == "statement log") {
            settings.statementLogPath = value;
        } else if (key == "busy timeout") {
            char* end = nullptr;
            long ms = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != 0 || ms < 0 || ms > 3600000)
                BadConnectionString("Invalid connection string: Busy Timeout must be milliseconds from 0 to 3600000, "
                                    "not \"" + value + "\".");
            settings.options.busyTimeoutMs = static_cast<int>(ms);
        } else if (key == "user id" || key == "uid" || key == "password" || key == "pwd") {
            // Accepted for the connection strings written for a server; an
            // embedded database has no logins.
        } else {
            BadConnectionString("Invalid connection string attribute: unknown keyword \"" + key +
                                "\" (known: Provider, Data Source, Statement Log, Busy Timeout, User ID, Password).");
        }
    }
    if (!settings.provider) settings.provider = &DefaultProvider();
    if (!haveSource || settings.dataSource.empty())
        BadConnectionString("Invalid connection string: Data Source (the database file) is missing.");
    return settings;
}

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

void ResultSet::Reserve(size_t rows, size_t bytes) {
    const size_t cells = rows * info_->columns.size();
    if (cells > cellCapacity_) GrowCells(cells);
    if (bytes > byteCapacity_) GrowBytes(bytes);
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
    std::list<std::string> order_;  // most recently used first
    std::unordered_map<std::string, CachedStatement> entries_;  // entries stay where they are until erased
};

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

struct Session::RunState {
    bool noCount = false;
    bool haveIdentity = false;
    int64_t identity = 0;
    int64_t affected = -1;
    std::shared_ptr<ResultSet> first;
    bool trackLastRow = false;
    std::shared_ptr<const ColumnInfo> lastRowColumns;  // names of lastRow's values
    std::vector<DbValue> lastRow;
};

struct Session::BatchPlan {
    std::vector<BatchStatement> statements;
    // Per statement:
    std::vector<std::string> translated;
    std::vector<StatementSlot> slots;     // where its prepared statement was found last
    std::vector<bool> countsRows;         // INSERT, UPDATE, DELETE, ...
    std::vector<bool> inserts;            // INSERT: gives the batch's identity
    // Its parameters were all found to be markers, not names: the names are
    // those of the translated text, whenever the statement was prepared.
    std::vector<bool> markersOnly;
    size_t markers = 0;                   // "?" markers of the statements sent to the database
    size_t lastSql = static_cast<size_t>(-1);  // the last statement sent to the database

    void Add(std::vector<BatchStatement> split, const DbSession& db) {
        statements = std::move(split);
        for (const BatchStatement& s : statements) {
            translated.push_back(db.TranslateStatement(s.text));
            countsRows.push_back(s.CountsRows());
            inserts.push_back(s.firstKeyword == "INSERT");
            if (s.kind == BatchStatement::Kind::Sql) {
                markers += static_cast<size_t>(s.markerCount);
                lastSql = translated.size() - 1;
            }
        }
        slots.resize(statements.size());
        markersOnly.resize(statements.size());
    }
};

Session::BatchPlan& Session::PlanFor(const std::u16string& text) {
    auto found = plans_.find(text);
    if (found != plans_.end()) return *found->second;
    auto plan = std::make_unique<BatchPlan>();
    plan->Add(SplitBatch(Utf16ToUtf8(text)), *db_);
    if (plans_.size() >= kStatementCacheCapacity) {
        plans_.clear();  // texts built on the fly must not pile up
        for (RecentPlan& recent : recentPlans_) recent = RecentPlan{};
    }
    return *plans_.emplace(text, std::move(plan)).first->second;
}

Session::BatchPlan& Session::PlanFor(const SharedText& text) {
    for (const RecentPlan& recent : recentPlans_)
        if (recent.text == text) return *recent.plan;
    BatchPlan& plan = PlanFor(*text);
    recentPlans_[nextRecentPlan_] = RecentPlan{text, &plan};
    nextRecentPlan_ = (nextRecentPlan_ + 1) % kRecentPlans;
    return plan;
}

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

ExecutionOutcome Session::RunText(BatchPlan& plan, const std::vector<DbValue>& values) {
    if (plan.markers > values.size())
        throw AdoFailure{DB_E_PARAMNOTOPTIONAL, u"No value given for one or more required parameters."};

    RunState state;
    size_t next = 0;
    for (size_t i = 0; i < plan.statements.size(); ++i) {
        const BatchStatement& s = plan.statements[i];
        switch (s.kind) {
            case BatchStatement::Kind::NoCountOn:
                state.noCount = true;
                continue;
            case BatchStatement::Kind::NoCountOff:
                state.noCount = false;
                continue;
            case BatchStatement::Kind::ScopeIdentity:
                if (!state.first) {
                    // SQL Server answers with one unnamed numeric(38,0) column,
                    // NULL when the batch inserted nothing.
                    static const auto kIdentityColumn = std::make_shared<const ColumnInfo>(
                        ColumnInfo{{""}, {""}, {ResultColumn{u"", adNumeric}}});
                    auto rs = std::make_shared<ResultSet>(kIdentityColumn);
                    rs->Append(DbValueView::Of(state.haveIdentity ? DbValue::Integer(state.identity) : DbValue::Null()));
                    rs->EndRow();
                    state.first = std::move(rs);
                }
                continue;
            case BatchStatement::Kind::Sql:
                break;
        }
        PreparedStatement& prepared = cache_->Get(plan.translated[i], plan.slots[i]);
        DbStatement& statement = *prepared.statement;
        ResetOnExit reset{&statement};  // also when a binding or a step fails
        const int count = statement.ParameterCount();
        const bool markersOnly = plan.markersOnly[i];
        for (int k = 0; k < count; ++k) {
            if (!markersOnly) {
                std::string name = statement.ParameterName(k);
                if (!name.empty() && name[0] != '?')
                    throw AdoFailure{DB_E_ERRORSINCOMMAND,
                                     Utf8ToUtf16("Must declare the scalar variable \"" + name + "\".")};
            }
            if (next >= values.size())
                throw AdoFailure{DB_E_PARAMNOTOPTIONAL, u"No value given for one or more required parameters."};
            statement.Bind(k, values[next++]);
        }
        plan.markersOnly[i] = true;  // every name was read
        // The batch's last statement may leave its rows in the statement:
        // nothing after it needs the database.
        const bool mayLeavePending = i == plan.lastSql && &values == &boundValues_ && !db_->ReadersBlockWriters();
        if (RunStatement(prepared, state, plan.countsRows[i], plan.inserts[i], mayLeavePending)) {
            reset.statement = nullptr;
            pending_->values.swap(boundValues_);  // the bindings read them in place
        }
    }
    ExecutionOutcome outcome;
    outcome.resultSet = std::move(state.first);
    outcome.recordsAffected = state.affected;
    return outcome;
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
    return RunAndLog(logging, [this](const LoggedCommand& logged) { Log(logged); }, [&] {
        BindParameters(
            parameters, [](ParameterDirectionEnum direction) { return direction != adParamOutput; }, logging,
            values);
        BatchPlan& plan = typeForLog == adCmdTable ? PlanFor(u"SELECT * FROM " + *text) : PlanFor(text);
        return RunText(plan, values);  // no outputs: a text command fills no parameters
    });
}

// A procedure as its row in StoredProcedures defines it, prepared for
// calling: the declared parameters, the body split into statements, and for
// each statement which declared parameter each of its parameters names.
// Kept per session and made again whenever the row reads differently.
struct Session::ProcedurePlan {
    static constexpr size_t kUndeclared = static_cast<size_t>(-1);
    std::string parameterList;  // the definition the plan was made from
    std::string body;
    std::vector<ProcedureParameter> declared;
    BatchPlan batch;
    // Per statement: the declared parameter bound to each of its parameters
    // (kUndeclared for a name not declared), known once it has run.
    std::vector<std::vector<size_t>> bindings;
    std::vector<bool> bindingsKnown;
};

Session::ProcedurePlan& Session::ProcedureFor(const std::string& name) {
    auto notFound = [&name] {
        return AdoFailure{DB_E_ERRORSINCOMMAND, Utf8ToUtf16("Could not find stored procedure '" + name + "'.")};
    };
    // The row is read on every call, so that a definition changed by anyone
    // (this connection or another) is what the call runs; what is cached is
    // only what the row's text makes.
    auto found = procedures_.find(name);
    ProcedurePlan* plan = found == procedures_.end() ? nullptr : found->second.get();
    std::string parameterList, body;
    bool current = false;
    try {
        const DbValue key = DbValue::Text(name);  // bound until the reset
        static const std::string kLookup = "SELECT Parameters, Body FROM StoredProcedures WHERE Name = ?";
        DbStatement& lookup = *cache_->Get(kLookup, procedureLookup_).statement;
        ResetOnExit reset{&lookup};
        lookup.Bind(0, key);
        if (!lookup.Step()) throw notFound();
        // Values that are not text read as empty, as they always have.
        const DbValueView parametersColumn = lookup.ColumnView(0), bodyColumn = lookup.ColumnView(1);
        const std::string_view parametersText =
            parametersColumn.kind == DbValue::Kind::Text ? parametersColumn.bytes : std::string_view();
        const std::string_view bodyText = bodyColumn.kind == DbValue::Kind::Text ? bodyColumn.bytes : std::string_view();
        current = plan && plan->parameterList == parametersText && plan->body == bodyText;
        if (!current) {
            parameterList.assign(parametersText.data(), parametersText.size());
            body.assign(bodyText.data(), bodyText.size());
        }
    } catch (const DbError&) {
        throw notFound();  // no procedures table at all
    }
    if (current) return *plan;

    auto made = std::make_unique<ProcedurePlan>();
    made->declared = ParseProcedureParameters(parameterList);
    made->batch.Add(SplitBatch(body), *db_);
    made->bindings.resize(made->batch.statements.size());
    made->bindingsKnown.assign(made->batch.statements.size(), false);
    made->parameterList = std::move(parameterList);
    made->body = std::move(body);
    if (!plan && procedures_.size() >= kStatementCacheCapacity) procedures_.clear();  // names made up on the fly
    std::unique_ptr<ProcedurePlan>& slot = procedures_[name];
    slot = std::move(made);
    return *slot;
}

ExecutionOutcome Session::RunProcedure(const std::string& name, const std::vector<CommandParameter>& parameters,
                                       std::vector<DbValue>& values, std::vector<LoggedParameter>* logged) {
    ProcedurePlan& plan = ProcedureFor(name);
    const std::vector<ProcedureParameter>& declared = plan.declared;
    // Return-value parameters take the procedure's status, not a position.
    std::vector<size_t> positional;
    positional.reserve(parameters.size());
    for (size_t i = 0; i < parameters.size(); ++i)
        if (parameters[i].direction != adParamReturnValue) positional.push_back(i);
    if (positional.size() > declared.size())
        throw AdoFailure{DB_E_ERRORSINCOMMAND,
                         Utf8ToUtf16("Procedure or function " + name + " has too many arguments specified.")};

    static const DbValue kNull;  // output parameters not supplied
    std::vector<const DbValue*> bound(declared.size(), &kNull);
    for (size_t k = 0; k < declared.size(); ++k) {
        if (k < positional.size()) {
            bound[k] = &values[positional[k]];
        } else if (!declared[k].output) {
            throw AdoFailure{DB_E_ERRORSINCOMMAND,
                             Utf8ToUtf16("Procedure or function '" + name + "' expects parameter '" + declared[k].name +
                                         "', which was not supplied.")};
        }
    }

    RunState state;
    state.trackLastRow = true;
    const bool ownTransaction = !db_->InTransaction();
    if (ownTransaction) db_->BeginWriteTransaction();
    try {
        BatchPlan& batch = plan.batch;
        for (size_t i = 0; i < batch.statements.size(); ++i) {
            const BatchStatement& s = batch.statements[i];
            if (s.kind == BatchStatement::Kind::NoCountOn || s.kind == BatchStatement::Kind::NoCountOff) continue;
            PreparedStatement& prepared = cache_->Get(batch.translated[i], batch.slots[i]);
            DbStatement& statement = *prepared.statement;
            ResetOnExit reset{&statement};  // also when a binding or a step fails
            std::vector<size_t>& binding = plan.bindings[i];
            if (!plan.bindingsKnown[i]) {
                // A name binds the declared parameter of that name (without
                // regard to case or "@"); the last, should two be declared.
                binding.assign(static_cast<size_t>(statement.ParameterCount()), ProcedurePlan::kUndeclared);
                for (size_t k = 0; k < binding.size(); ++k) {
                    const std::string parameter = statement.ParameterName(static_cast<int>(k));
                    for (size_t d = 0; d < declared.size(); ++d)
                        if (SameNoCase(WithoutAt(declared[d].name), WithoutAt(parameter))) binding[k] = d;
                }
                plan.bindingsKnown[i] = true;
            }
            for (size_t k = 0; k < binding.size(); ++k) {
                if (binding[k] == ProcedurePlan::kUndeclared) {
                    const std::string parameter = statement.ParameterName(static_cast<int>(k));
                    throw AdoFailure{DB_E_ERRORSINCOMMAND,
                                     Utf8ToUtf16("Must declare the scalar variable \"" +
                                                 (parameter.empty() ? std::string("?") : parameter) + "\".")};
                }
                statement.Bind(static_cast<int>(k), *bound[binding[k]]);
            }
            RunStatement(prepared, state, batch.countsRows[i], batch.inserts[i]);
        }
        if (ownTransaction) db_->Commit();
    } catch (...) {
        if (ownTransaction) db_->Rollback();
        throw;
    }

    ExecutionOutcome outcome;
    outcome.resultSet = std::move(state.first);
    outcome.recordsAffected = state.affected;
    outcome.outputs.resize(parameters.size());
    for (size_t i = 0; i < parameters.size(); ++i) {
        if (parameters[i].direction == adParamReturnValue) {
            auto output = std::make_unique<VariantHolder>();
            output->get()->vt = VT_I4;  // the procedure's status: it ran
            output->get()->lVal = 0;
            outcome.outputs[i] = std::move(output);
            continue;
        }
        if (!IsOutput(parameters[i].direction)) continue;
        size_t k = 0;
        while (k < positional.size() && positional[k] != i) ++k;
        const DbValue* value = &kNull;
        bool haveColumn = false;
        if (k < declared.size() && state.lastRowColumns) {
            const std::vector<std::string>& names = state.lastRowColumns->names;
            for (size_t c = 0; c < names.size() && c < state.lastRow.size(); ++c) {
                if (SameNoCase(WithoutAt(names[c]), WithoutAt(declared[k].name))) {
                    value = &state.lastRow[c];
                    haveColumn = true;
                }
            }
        }
        if (!haveColumn && parameters[i].direction == adParamInputOutput) continue;  // keeps its input value
        auto output = std::make_unique<VariantHolder>();
        Check(ToVariant(*value, parameters[i].type, output->get()));
        if (logged) (*logged)[i].value = *value;
        outcome.outputs[i] = std::move(output);
    }
    return outcome;
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
    return RunAndLog(logging, [this](const LoggedCommand& logged) { Log(logged); }, [&] {
        BindParameters(
            parameters,
            [](ParameterDirectionEnum direction) {
                return direction == adParamInput || direction == adParamInputOutput;
            },
            logging, values);
        // "[name]", "dbo.name" and "[dbo].[name]" name the same procedure, as
        // on the server.
        std::string procedure = TrimCopy(record.text);
        procedure.erase(std::remove_if(procedure.begin(), procedure.end(), [](char c) { return c == '[' || c == ']'; }),
                        procedure.end());
        if (procedure.size() > 4 && SameNoCase(procedure.substr(0, 4), "dbo.")) procedure.erase(0, 4);
        return RunProcedure(procedure, parameters, values, logging ? &record.parameters : nullptr);
    });
}

}  // namespace wincompat::ado
