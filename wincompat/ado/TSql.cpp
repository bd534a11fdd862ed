// Splits a T-SQL batch at semicolons outside literals, quoted names and comments, counting each
// statement's "?" markers and recognising SET NOCOUNT and SCOPE_IDENTITY().
#include "ado/TSql.h"

#include <cctype>

#include "common/CaseCompare.h"
#include "common/Trim.h"

namespace wincompat::ado {
namespace {

bool IsWordChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}

// Position just past the literal, quoted name or comment that starts at i,
// or i itself when none starts there.
size_t SkipQuoted(std::string_view text, size_t i) {
    char c = text[i];
    char close = 0;
    if (c == '\'') close = '\'';
    if (c == '"') close = '"';
    if (c == '[') close = ']';
    if (close) {
        size_t j = i + 1;
        while (j < text.size()) {
            if (text[j] == close) {
                if (j + 1 < text.size() && text[j + 1] == close) {
                    j += 2;  // doubled: an escaped quote
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return text.size();  // unterminated: the database reports it
    }
    if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
        size_t end = text.find('\n', i);
        return end == std::string_view::npos ? text.size() : end + 1;
    }
    if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
        size_t end = text.find("*/", i + 2);
        return end == std::string_view::npos ? text.size() : end + 2;
    }
    return i;
}

// The first few words and symbols of a statement, upper case, outside
// comments; enough to recognise the statements answered here.
std::vector<std::string> LeadingTokens(std::string_view text, size_t limit) {
    std::vector<std::string> tokens;
    size_t i = 0;
    while (i < text.size() && tokens.size() < limit) {
        char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        size_t skipped = SkipQuoted(text, i);
        if (skipped != i) {
            if (c == '-' || c == '/') {
                i = skipped;
                continue;
            }
            tokens.push_back(Upper(text.substr(i, skipped - i)));
            i = skipped;
            continue;
        }
        if (IsWordChar(c)) {
            size_t j = i;
            while (j < text.size() && IsWordChar(text[j])) ++j;
            tokens.push_back(Upper(text.substr(i, j - i)));
            i = j;
            continue;
        }
        tokens.emplace_back(1, c);
        ++i;
    }
    if (i < text.size()) tokens.push_back("...");  // more follows: not a short statement
    return tokens;
}

void Classify(BatchStatement& statement) {
    std::vector<std::string> tokens = LeadingTokens(statement.text, 6);
    if (!tokens.empty()) statement.firstKeyword = tokens.front();
    using Tokens = std::vector<std::string>;
    if (tokens == Tokens{"SET", "NOCOUNT", "ON"}) statement.kind = BatchStatement::Kind::NoCountOn;
    if (tokens == Tokens{"SET", "NOCOUNT", "OFF"}) statement.kind = BatchStatement::Kind::NoCountOff;
    if (tokens == Tokens{"SELECT", "SCOPE_IDENTITY", "(", ")"} || tokens == Tokens{"SELECT", "@@IDENTITY"})
        statement.kind = BatchStatement::Kind::ScopeIdentity;
}

void AddStatement(std::string_view text, int markers, std::vector<BatchStatement>& out) {
    const std::string_view trimmed = TrimSpace(text);
    if (trimmed.empty()) return;
    BatchStatement statement;
    statement.text = std::string(trimmed);
    statement.markerCount = markers;
    Classify(statement);
    // A statement made only of comments has no keyword and nothing to run.
    if (statement.firstKeyword.empty()) return;
    out.push_back(std::move(statement));
}

}  // namespace

bool BatchStatement::CountsRows() const {
    return firstKeyword == "INSERT" || firstKeyword == "UPDATE" || firstKeyword == "DELETE" ||
           firstKeyword == "MERGE" || firstKeyword == "REPLACE";
}

std::vector<BatchStatement> SplitBatch(std::string_view batch) {
    std::vector<BatchStatement> statements;
    size_t start = 0, i = 0;
    int markers = 0;
    while (i < batch.size()) {
        size_t skipped = SkipQuoted(batch, i);
        if (skipped != i) {
            i = skipped;
            continue;
        }
        char c = batch[i];
        if (c == '?') {
            ++markers;
        } else if (c == ';') {
            AddStatement(batch.substr(start, i - start), markers, statements);
            start = i + 1;
            markers = 0;
        }
        ++i;
    }
    AddStatement(batch.substr(start), markers, statements);
    return statements;
}

}  // namespace wincompat::ado
