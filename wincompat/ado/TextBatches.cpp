// Text commands: the plans of their batches, remembered by the text, and the
// run of a batch statement by statement, with SET NOCOUNT and SELECT
// SCOPE_IDENTITY() answered here.
#include "ado/TextBatches.h"

#include "ado/Errors.h"
#include "ado/StatementCache.h"

namespace wincompat::ado {

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

ExecutionOutcome Session::RunText(BatchPlan& plan, const std::vector<DbValue>& values) {
    if (plan.markers > values.size())
        throw AdoFailure{DB_E_PARAMNOTOPTIONAL, u"No value given for one or more required parameters."};

    RunState state;
    size_t next = 0;
    for (size_t i = 0; i < plan.statements.size(); ++i) {
        const BatchStatement& s = plan.statements[i];
        switch (s.kind) {
            case BatchStatement::Kind::NoCountOn: state.noCount = true; continue;
            case BatchStatement::Kind::NoCountOff: state.noCount = false; continue;
            case BatchStatement::Kind::ScopeIdentity:
                if (!state.first) {
                    // SQL Server answers with one unnamed numeric(38,0) column,
                    // NULL when the batch inserted nothing.
                    static const auto kIdentityColumn =
                        std::make_shared<const ColumnInfo>(ColumnInfo{{""}, {""}, {ResultColumn{u"", adNumeric}}});
                    auto rs = std::make_shared<ResultSet>(kIdentityColumn);
                    rs->Append(
                        DbValueView::Of(state.haveIdentity ? DbValue::Integer(state.identity) : DbValue::Null()));
                    rs->EndRow();
                    state.first = std::move(rs);
                }
                continue;
            case BatchStatement::Kind::Sql: break;
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

}  // namespace wincompat::ado
