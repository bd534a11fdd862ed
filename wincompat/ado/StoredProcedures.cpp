// Stored-procedure calls: the procedure's current definition read and
// planned, its parameters bound by position and name, its body run in one
// write transaction, and its output parameters filled from its last row.
#include "ado/StoredProcedures.h"

#include <cctype>

#include "ado/Errors.h"
#include "ado/StatementCache.h"
#include "common/CaseCompare.h"

namespace wincompat::ado {
namespace {

std::string_view WithoutAt(std::string_view name) { return (!name.empty() && name[0] == '@') ? name.substr(1) : name; }

bool IsOutput(ParameterDirectionEnum d) { return d == adParamOutput || d == adParamInputOutput; }

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
            throw DbError(DbErrorKind::Command,
                          "bad parameter list in a stored procedure definition: \"" + item + "\"");
        ProcedureParameter p;
        p.name = words.front();
        p.output = words.size() > 1 &&
                   (EqualsIgnoringAsciiCase(words.back(), "OUTPUT") || EqualsIgnoringAsciiCase(words.back(), "OUT"));
        result.push_back(p);
    }
    return result;
}

}  // namespace

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
        const std::string_view bodyText =
            bodyColumn.kind == DbValue::Kind::Text ? bodyColumn.bytes : std::string_view();
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
                        if (EqualsIgnoringAsciiCase(WithoutAt(declared[d].name), WithoutAt(parameter))) binding[k] = d;
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
                if (EqualsIgnoringAsciiCase(WithoutAt(names[c]), WithoutAt(declared[k].name))) {
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

}  // namespace wincompat::ado
