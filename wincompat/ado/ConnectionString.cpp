// The connection-string parser: keywords without regard to case or runs of
// blanks, values plain or quoted, and a refusal naming what is wrong.
#include "ado/ConnectionString.h"

#include <cctype>
#include <cstdlib>

#include "ado/Errors.h"
#include "common/Trim.h"
#include "common/CaseCompare.h"
#include "common/Utf.h"

namespace wincompat::ado {
namespace {

// Collapses a connection-string keyword: case and runs of blanks do not matter.
std::string NormalizeKeyword(std::string_view key) {
    std::string out;
    bool blank = false;
    for (char c : TrimSpace(key)) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            blank = true;
            continue;
        }
        if (blank && !out.empty()) out += ' ';
        blank = false;
        out += AsciiLower(c);
    }
    return out;
}

[[noreturn]] void BadConnectionString(const std::string& message) { throw AdoFailure{E_FAIL, Utf8ToUtf16(message)}; }

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
            std::string stray = std::string(TrimSpace(
                std::string_view(s).substr(i, semicolon == std::string::npos ? std::string::npos : semicolon - i)));
            if (!stray.empty())
                BadConnectionString("Invalid connection string attribute: \"" + stray + "\" has no value.");
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
            if (!closed)
                BadConnectionString("Invalid connection string: unterminated quoted value of \"" + key + "\".");
            while (j < s.size() && s[j] != ';') {
                if (!std::isspace(static_cast<unsigned char>(s[j])))
                    BadConnectionString("Invalid connection string: text after the quoted value of \"" + key + "\".");
                ++j;
            }
        } else {
            size_t end = s.find(';', j);
            value = std::string(
                TrimSpace(std::string_view(s).substr(j, end == std::string::npos ? std::string::npos : end - j)));
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
                BadConnectionString(
                    "Invalid connection string: Busy Timeout must be milliseconds from 0 to 3600000, "
                    "not \"" +
                    value + "\".");
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

}  // namespace wincompat::ado
