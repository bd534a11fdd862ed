// The T-SQL batches that the plug-ins send, split into statements: each
// statement's text, its number of "?" markers (so that a batch's parameters
// can be handed out to its statements in marker order), and the statements
// that the ADO layer answers itself (SET NOCOUNT, SELECT SCOPE_IDENTITY()).
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace wincompat::ado {

struct BatchStatement {
    enum class Kind {
        Sql,            // goes to the database
        NoCountOn,      // SET NOCOUNT ON: row counts are no longer reported
        NoCountOff,     // SET NOCOUNT OFF
        ScopeIdentity,  // SELECT SCOPE_IDENTITY() or SELECT @@IDENTITY
    };
    Kind kind = Kind::Sql;
    std::string text;          // trimmed, without the closing ";"
    int markerCount = 0;       // "?" outside literals, quoted names and comments
    std::string firstKeyword;  // upper case: SELECT, INSERT, UPDATE, ...
    // INSERT, UPDATE, DELETE, MERGE, REPLACE: the statement counts rows.
    bool CountsRows() const;
};

// Splits at each ";" outside literals, quoted names and comments; empty
// statements are dropped. Never fails: what the database refuses, it refuses
// with its own message.
std::vector<BatchStatement> SplitBatch(std::string_view batch);

}  // namespace wincompat::ado
