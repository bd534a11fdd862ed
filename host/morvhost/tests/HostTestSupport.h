// Running the real morvhost program from tests, and reading back the JSON it
// prints, strictly enough that malformed output fails the test.
#pragma once
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/TempFolder.h"

namespace morvhost_test {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
    return text;
}

// Who runs the program: the test's own user, or (when that is root, whom
// file permissions do not stop) the unprivileged user "nobody".
enum class RunAs { Tester, Unprivileged };
constexpr uid_t kNobody = 65534;

// The environment of this process with `overrides` set, as execve takes it.
class ChildEnvironment {
public:
    explicit ChildEnvironment(const std::vector<std::pair<std::string, std::string>>& overrides) {
        for (const auto& [name, value] : overrides) entries_.push_back(name + "=" + value);
        for (char** entry = environ; *entry; ++entry) {
            const std::string text = *entry;
            bool overridden = false;
            for (const auto& setting : overrides) overridden = overridden || text.rfind(setting.first + "=", 0) == 0;
            if (!overridden) entries_.push_back(text);
        }
        for (std::string& entry : entries_) pointers_.push_back(entry.data());
        pointers_.push_back(nullptr);
    }
    ChildEnvironment(const ChildEnvironment&) = delete;  // the pointers point into the strings
    ChildEnvironment& operator=(const ChildEnvironment&) = delete;
    char** get() { return pointers_.data(); }

private:
    std::vector<std::string> entries_;
    std::vector<char*> pointers_;
};

// Runs morvhost with `arguments`, `input` on its standard input and extra environment settings.
// Tests run it from several threads at once: everything the child needs is
// made before fork, since between fork and exec the child may only make
// async-signal-safe calls (a lock another thread held at the fork, the
// allocator's say, stays locked in the child forever), and the pipes are
// closed on exec so that no other run's child holds them open.
inline Outcome RunMorvhost(const std::vector<std::string>& arguments, const std::string& input = "",
                           const std::vector<std::pair<std::string, std::string>>& environment = {},
                           RunAs user = RunAs::Tester) {
    std::vector<char*> argv{const_cast<char*>(MORVHOST_PROGRAM)};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ChildEnvironment childEnvironment(environment);
    const bool dropPrivileges = user == RunAs::Unprivileged && geteuid() == 0;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        if (dropPrivileges && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(126);
        execve(MORVHOST_PROGRAM, argv.data(), childEnvironment.get());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    std::thread feeder([&] {
        ssize_t ignored = write(in[1], input.data(), input.size());
        (void)ignored;
        close(in[1]);
    });
    Outcome outcome;
    std::thread errors([&] { outcome.err = ReadAll(err[0]); });
    outcome.out = ReadAll(out[0]);
    errors.join();
    feeder.join();
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

inline bool IsOneLineReason(const std::string& err) {
    return err.rfind("morvhost: ", 0) == 0 && err.find('\n') == err.size() - 1;
}

inline std::string SamplePath(const std::string& name) { return std::string(ZELK_SOURCE_DIR) + "/samples/" + name; }

// A temporary folder per test, removed with everything in it.
using wincompat_test::TempFolder;

// Runs `count` copies of morvhost at once, copy i with arguments(i), and
// returns their outcomes in that order.
template <typename Arguments>
std::vector<Outcome> RunMorvhostAtOnce(size_t count, Arguments arguments,
                                       const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    std::vector<Outcome> outcomes(count);
    std::vector<std::thread> runs;
    for (size_t i = 0; i < count; ++i)
        runs.emplace_back([&, i] { outcomes[i] = RunMorvhost(arguments(i), "", environment); });
    for (std::thread& run : runs) run.join();
    return outcomes;
}

// A temporary folder with a database and a registry path in it, for the
// tests that run morvhost as a user would.
class HostFolderTest : public ::testing::Test {
protected:
    Outcome Init(const std::string& db) { return RunMorvhost({"init", "--db=" + db}); }
    void InitHost() {
        Outcome outcome = Init(db_);
        ASSERT_EQ(outcome.status, 0) << outcome.err;
    }
    void Register() {
        Outcome outcome = RunMorvhost({"register", "--registry=" + registry_});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
    }
    // A command over the test's database (and registry when it calls a plug-in).
    Outcome OnDb(std::vector<std::string> arguments, const std::string& input = "") {
        arguments.push_back("--db=" + db_);
        return RunMorvhost(arguments, input);
    }
    Outcome Policy(std::vector<std::string> arguments, const std::string& input = "") {
        arguments.insert(arguments.begin(), "policy");
        arguments.push_back("--db=" + db_);
        arguments.push_back("--registry=" + registry_);
        return RunMorvhost(arguments, input);
    }

    TempFolder folder_;
    std::string db_ = folder_.path() + "/host.db";
    std::string registry_ = folder_.path() + "/registry";
};

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---- JSON ----

struct JsonValue {
    enum class Type { Null, Bool, Number, Text, Array, Object };
    Type type = Type::Null;
    bool flag = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;

    bool IsNull() const { return type == Type::Null; }
    // A member of an object; a missing one is a test failure (thrown).
    const JsonValue& operator[](const std::string& name) const {
        if (type != Type::Object) throw std::runtime_error("not an object, looking for " + name);
        for (const auto& [key, value] : members)
            if (key == name) return value;
        throw std::runtime_error("no member " + name);
    }
    const JsonValue& operator[](size_t index) const {
        if (type != Type::Array || index >= items.size()) throw std::runtime_error("no item " + std::to_string(index));
        return items[index];
    }
    size_t Size() const { return type == Type::Array ? items.size() : members.size(); }
    const std::string& Text() const {
        if (type != Type::Text) throw std::runtime_error("not a string");
        return text;
    }
    long long Number() const {
        if (type != Type::Number) throw std::runtime_error("not a number");
        return static_cast<long long>(number);
    }
    bool Bool() const {
        if (type != Type::Bool) throw std::runtime_error("not a boolean");
        return flag;
    }
};

class JsonReader {
public:
    explicit JsonReader(const std::string& text) : text_(text) {}

    JsonValue Document() {
        JsonValue value = Value();
        SkipSpace();
        if (pos_ != text_.size()) Fail("text after the value");
        return value;
    }

private:
    [[noreturn]] void Fail(const std::string& what) {
        throw std::runtime_error("JSON: " + what + " at offset " + std::to_string(pos_));
    }
    void SkipSpace() {
        while (pos_ < text_.size() &&
               (text_[pos_] == ' ' || text_[pos_] == '\n' || text_[pos_] == '\t' || text_[pos_] == '\r'))
            ++pos_;
    }
    bool Take(char c) {
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Take(c)) Fail(std::string("expected '") + c + "'");
    }
    bool Word(const char* word) {
        size_t n = std::char_traits<char>::length(word);
        if (text_.compare(pos_, n, word) != 0) return false;
        pos_ += n;
        return true;
    }
    JsonValue Value() {
        SkipSpace();
        if (pos_ >= text_.size()) Fail("no value");
        JsonValue value;
        char c = text_[pos_];
        if (c == '{') {
            ++pos_;
            value.type = JsonValue::Type::Object;
            if (Take('}')) return value;
            do {
                SkipSpace();
                std::string name = String();
                Expect(':');
                value.members.emplace_back(std::move(name), Value());
            } while (Take(','));
            Expect('}');
        } else if (c == '[') {
            ++pos_;
            value.type = JsonValue::Type::Array;
            if (Take(']')) return value;
            do value.items.push_back(Value());
            while (Take(','));
            Expect(']');
        } else if (c == '"') {
            value.type = JsonValue::Type::Text;
            value.text = String();
        } else if (Word("null")) {
        } else if (Word("true")) {
            value.type = JsonValue::Type::Bool;
            value.flag = true;
        } else if (Word("false")) {
            value.type = JsonValue::Type::Bool;
        } else {
            size_t start = pos_;
            if (text_[pos_] == '-') ++pos_;
            while (pos_ < text_.size() &&
                   (isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.' || text_[pos_] == 'e' ||
                    text_[pos_] == 'E' || text_[pos_] == '+' || text_[pos_] == '-'))
                ++pos_;
            if (pos_ == start) Fail("unexpected character");
            value.type = JsonValue::Type::Number;
            value.number = std::stod(text_.substr(start, pos_ - start));
        }
        return value;
    }
    unsigned Hex4() {
        if (pos_ + 4 > text_.size()) Fail("short \\u escape");
        unsigned code = static_cast<unsigned>(std::stoul(text_.substr(pos_, 4), nullptr, 16));
        pos_ += 4;
        return code;
    }
    static void AppendUtf8(std::string& out, unsigned code) {
        if (code < 0x80) {
            out += static_cast<char>(code);
        } else if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else if (code < 0x10000) {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (code >> 18));
            out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    std::string String() {
        if (pos_ >= text_.size() || text_[pos_] != '"') Fail("expected a string");
        ++pos_;
        std::string out;
        for (;;) {
            if (pos_ >= text_.size()) Fail("unterminated string");
            unsigned char c = static_cast<unsigned char>(text_[pos_++]);
            if (c == '"') return out;
            if (c < 0x20) Fail("raw control character in a string");
            if (c != '\\') {
                out += static_cast<char>(c);
                continue;
            }
            if (pos_ >= text_.size()) Fail("unterminated escape");
            char e = text_[pos_++];
            switch (e) {
                case '"': out += '"'; break;
                case '\\': out += '\\'; break;
                case '/': out += '/'; break;
                case 'b': out += '\b'; break;
                case 'f': out += '\f'; break;
                case 'n': out += '\n'; break;
                case 'r': out += '\r'; break;
                case 't': out += '\t'; break;
                case 'u': {
                    unsigned code = Hex4();
                    if (code >= 0xD800 && code < 0xDC00 && Word("\\u"))
                        code = 0x10000 + ((code - 0xD800) << 10) + (Hex4() - 0xDC00);
                    AppendUtf8(out, code);
                    break;
                }
                default: Fail("unknown escape");
            }
        }
    }
    const std::string& text_;
    size_t pos_ = 0;
};

inline JsonValue ParseJson(const std::string& text) { return JsonReader(text).Document(); }

// The value after `label` in the upload summary ("detections written  9 (...)").
inline std::string SummaryValue(const std::string& summary, const std::string& label) {
    std::istringstream lines(summary);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind(label, 0) != 0 || line.size() <= label.size() || line[label.size()] != ' ') continue;
        size_t value = line.find_first_not_of(' ', label.size());
        return value == std::string::npos ? "" : line.substr(value);
    }
    return "<no " + label + " line>";
}

}  // namespace morvhost_test
