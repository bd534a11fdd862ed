// Evaluation of the integer expressions of #if/#elif and of resource ids and
// numeric fields: a recursive-descent parser over C's operators.
#include "Expression.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "Failure.h"

namespace rcgen {
namespace {

// The parser holds its own copy of the text: a macro's value is parsed by a
// parser of its own, and its text must not depend on who made the string.
class ExpressionParser {
public:
    ExpressionParser(std::string text, const MacroTable& macros, std::string where)
        : text_(std::move(text)), macros_(macros), where_(std::move(where)) {}
    // The macros are borrowed for the parse: never from a temporary table.
    ExpressionParser(std::string text, MacroTable&& macros, std::string where) = delete;

    long Parse() {
        long value = Or();
        Skip();
        if (pos_ != text_.size()) Fail(where_, "cannot read the expression \"" + text_ + "\"");
        return value;
    }

private:
    void Skip() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
    }
    bool Accept(const char* op) {
        Skip();
        size_t n = strlen(op);
        if (text_.compare(pos_, n, op) == 0) {
            // '|' must not be taken for '||', nor '&' for '&&'
            if (n == 1 && (op[0] == '|' || op[0] == '&') && pos_ + 1 < text_.size() && text_[pos_ + 1] == op[0])
                return false;
            pos_ += n;
            return true;
        }
        return false;
    }
    long Or() {
        long v = And();
        while (Accept("||")) v = (And() != 0) || v ? 1 : 0;
        return v;
    }
    long And() {
        long v = BitOr();
        while (Accept("&&")) {
            long r = BitOr();
            v = (v != 0 && r != 0) ? 1 : 0;
        }
        return v;
    }
    long BitOr() {
        long v = Equality();
        while (Accept("|")) v |= Equality();
        return v;
    }
    long Equality() {
        long v = Additive();
        while (true) {
            if (Accept("=="))
                v = v == Additive();
            else if (Accept("!="))
                v = v != Additive();
            else if (Accept(">="))
                v = v >= Additive();
            else if (Accept("<="))
                v = v <= Additive();
            else if (Accept(">"))
                v = v > Additive();
            else if (Accept("<"))
                v = v < Additive();
            else
                return v;
        }
    }
    long Additive() {
        long v = Unary();
        while (true) {
            if (Accept("+"))
                v += Unary();
            else if (Accept("-"))
                v -= Unary();
            else
                return v;
        }
    }
    long Unary() {
        if (Accept("!")) return !Unary();
        if (Accept("-")) return -Unary();
        if (Accept("~")) return ~Unary();
        if (Accept("(")) {
            long v = Or();
            if (!Accept(")")) Fail(where_, "missing ')' in \"" + text_ + "\"");
            return v;
        }
        Skip();
        size_t start = pos_;
        while (pos_ < text_.size() && (isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_')) ++pos_;
        std::string word = text_.substr(start, pos_ - start);
        if (word.empty()) Fail(where_, "cannot read the expression \"" + text_ + "\"");
        if (isdigit(static_cast<unsigned char>(word[0]))) return ParseNumber(word, where_);
        if (word == "defined") {
            bool paren = Accept("(");
            Skip();
            size_t s = pos_;
            while (pos_ < text_.size() && (isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
                ++pos_;
            std::string name = text_.substr(s, pos_ - s);
            if (paren && !Accept(")")) Fail(where_, "missing ')' after defined(");
            return macros_.count(name) ? 1 : 0;
        }
        auto it = macros_.find(word);
        if (it == macros_.end()) return 0;  // as the C preprocessor does
        if (++depth_ > 32) Fail(where_, "macro " + word + " refers to itself");
        ExpressionParser inner(it->second.empty() ? "0" : it->second, macros_, where_);
        inner.depth_ = depth_;
        return inner.Parse();
    }

    const std::string text_;
    const MacroTable& macros_;
    const std::string where_;
    size_t pos_ = 0;
    int depth_ = 0;
};

}  // namespace

long EvaluateExpression(const std::string& expression, const MacroTable& macros, const std::string& where) {
    ExpressionParser parser(expression, macros, where);
    return parser.Parse();
}

long ParseNumber(const std::string& word, const std::string& where) {
    std::string digits = word;
    while (!digits.empty() &&
           (digits.back() == 'L' || digits.back() == 'l' || digits.back() == 'U' || digits.back() == 'u'))
        digits.pop_back();
    char* end = nullptr;
    long value = strtol(digits.c_str(), &end, 0);
    if (digits.empty() || *end) Fail(where, "\"" + word + "\" is not a number");
    return value;
}

}  // namespace rcgen
