// Stored procedures as a session calls them: the plan made from a
// procedure's row in StoredProcedures (see Session.h).
#pragma once
#include <string>
#include <vector>

#include "ado/Session.h"
#include "ado/TextBatches.h"

namespace wincompat::ado {

// A parameter as the procedure's definition declares it.
struct ProcedureParameter {
    std::string name;
    bool output = false;
};

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

}  // namespace wincompat::ado
