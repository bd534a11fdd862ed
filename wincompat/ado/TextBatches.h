// A T-SQL text as the session runs it: split into statements, each
// translated for the database, and what running them leaves for the next.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "ado/Session.h"
#include "ado/TSql.h"

namespace wincompat::ado {

// What a command's statements have done so far, for those after them and
// for the command's outcome.
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

// The statements of a batch (or of a procedure's body) as they are sent.
struct Session::BatchPlan {
    std::vector<BatchStatement> statements;
    // Per statement:
    std::vector<std::string> translated;
    std::vector<StatementSlot> slots;  // where its prepared statement was found last
    std::vector<bool> countsRows;      // INSERT, UPDATE, DELETE, ...
    std::vector<bool> inserts;         // INSERT: gives the batch's identity
    // Its parameters were all found to be markers, not names: the names are
    // those of the translated text, whenever the statement was prepared.
    std::vector<bool> markersOnly;
    size_t markers = 0;                        // "?" markers of the statements sent to the database
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

}  // namespace wincompat::ado
