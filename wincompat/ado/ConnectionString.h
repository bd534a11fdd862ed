// The connection strings of ADO over SQLite: what a connection opens, and how
// "Provider=SQLite;Data Source=PATH;..." says it.
#pragma once
#include <string>

#include "ado/Provider.h"

namespace wincompat::ado {

struct ConnectionSettings {
    const DbProvider* provider = nullptr;
    std::string dataSource;
    std::string statementLogPath;  // empty: no log
    SessionOptions options;
};

// Parses "Provider=SQLite;Data Source=PATH;..." (keywords without regard to
// case, values optionally quoted with " or '). Throws AdoFailure for unknown
// keywords or providers and for a missing Data Source.
ConnectionSettings ParseConnectionString(const std::u16string& text);

}  // namespace wincompat::ado
