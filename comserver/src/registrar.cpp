#include "comserver/registrar.h"

#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

namespace comserver {
namespace {

using OleString = std::basic_string<OLECHAR>;

// For error messages; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(const OleString& text) {
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &out[0], needed, nullptr, nullptr);
    return out;
}

// Script bytes to text: UTF-16LE after a byte-order mark, else UTF-8 (ASCII
// scripts are UTF-8 too). False on malformed UTF-8.
bool DecodeScript(const unsigned char* bytes, size_t size, OleString& text) {
    text.clear();
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        for (size_t i = 2; i + 1 < size; i += 2) text.push_back(static_cast<OLECHAR>(bytes[i] | (bytes[i + 1] << 8)));
        return size % 2 == 0;
    }
    const size_t start = (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) ? 3 : 0;
    if (start == size) return true;
    if (size - start > static_cast<size_t>(INT_MAX)) return false;
    const char* utf8 = reinterpret_cast<const char*>(bytes + start);
    const int length = static_cast<int>(size - start);
    const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, length, nullptr, 0);
    if (needed <= 0) return false;
    text.resize(static_cast<size_t>(needed));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, length, &text[0], needed) == needed;
}

OLECHAR Fold(OLECHAR c) { return (c >= 'A' && c <= 'Z') ? static_cast<OLECHAR>(c - 'A' + 'a') : c; }

bool SameText(const OleString& a, const char* b) {
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (!b[i] || Fold(a[i]) != Fold(static_cast<OLECHAR>(b[i]))) return false;
    }
    return b[i] == 0;
}

bool SameText(const OleString& a, const OleString& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (Fold(a[i]) != Fold(b[i])) return false;
    return true;
}

// ---- the parsed script ----

struct ValueSpec {
    OleString name;  // empty: the default value
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
};

struct KeySpec {
    OleString name;
    bool noRemove = false;
    bool forceRemove = false;
    bool deleteOnRegister = false;
    std::unique_ptr<ValueSpec> defaultValue;
    std::vector<ValueSpec> values;
    std::vector<KeySpec> children;
    int line = 0;
};

struct RootSpec {
    HKEY root = nullptr;
    bool classesRoot = false;
    OleString name;
    std::vector<KeySpec> keys;
};

struct Token {
    OleString text;
    bool quoted = false;
    int line = 0;
};

class ScriptError {
public:
    ScriptError(int line, std::string message) : line_(line), message_(std::move(message)) {}
    std::string Text() const { return "registration script line " + std::to_string(line_) + ": " + message_; }

private:
    int line_;
    std::string message_;
};

// Splits the script into words and quoted texts, replacing %NAME% in both.
class Lexer {
public:
    Lexer(const OleString& text, const std::vector<Replacement>& replacements)
        : text_(text), replacements_(replacements) {}

    std::vector<Token> Run() {
        std::vector<Token> tokens;
        while (true) {
            SkipSpace();
            if (pos_ >= text_.size()) break;
            Token token;
            token.line = line_;
            if (text_[pos_] == '\'') {
                token.quoted = true;
                ++pos_;
                OleString raw;
                bool closed = false;
                while (pos_ < text_.size()) {
                    OLECHAR c = text_[pos_++];
                    if (c == '\n') ++line_;
                    if (c == '\'') {
                        if (pos_ < text_.size() && text_[pos_] == '\'') {
                            raw.push_back('\'');
                            ++pos_;
                            continue;
                        }
                        closed = true;
                        break;
                    }
                    raw.push_back(c);
                }
                if (!closed) throw ScriptError(token.line, "a quoted text is not closed");
                token.text = Replace(raw, token.line);
            } else {
                OleString raw;
                while (pos_ < text_.size() && !IsSpace(text_[pos_])) raw.push_back(text_[pos_++]);
                token.text = Replace(raw, token.line);
            }
            tokens.push_back(std::move(token));
        }
        return tokens;
    }

private:
    static bool IsSpace(OLECHAR c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == 0xFEFF; }
    void SkipSpace() {
        while (pos_ < text_.size() && IsSpace(text_[pos_])) {
            if (text_[pos_] == '\n') ++line_;
            ++pos_;
        }
    }
    OleString Replace(const OleString& raw, int line) const {
        OleString out;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] != '%') {
                out.push_back(raw[i]);
                continue;
            }
            size_t end = raw.find('%', i + 1);
            if (end == OleString::npos) throw ScriptError(line, "a '%' has no closing '%'");
            OleString name = raw.substr(i + 1, end - i - 1);
            if (name.empty()) {
                out.push_back('%');  // %% is a percent sign
            } else {
                const Replacement* found = nullptr;
                for (const Replacement& replacement : replacements_)
                    if (SameText(replacement.name, name)) found = &replacement;
                if (!found) throw ScriptError(line, "unknown replacement variable %" + ToUtf8(name) + "%");
                out += found->value;
            }
            i = end;
        }
        return out;
    }

    const OleString& text_;
    const std::vector<Replacement>& replacements_;
    size_t pos_ = 0;
    int line_ = 1;
};

class Parser {
public:
    explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

    std::vector<RootSpec> Run() {
        std::vector<RootSpec> roots;
        while (pos_ < tokens_.size()) {
            const Token& name = Next("a root key");
            RootSpec root;
            root.name = name.text;
            if (!ResolveRoot(name, root)) throw ScriptError(name.line, "unknown root key '" + ToUtf8(name.text) + "'");
            Expect("{");
            while (!PeekIs("}")) root.keys.push_back(ParseKey());
            Expect("}");
            roots.push_back(std::move(root));
        }
        return roots;
    }

private:
    static bool ResolveRoot(const Token& token, RootSpec& root) {
        if (token.quoted) return false;
        const OleString& t = token.text;
        if (SameText(t, "HKCR") || SameText(t, "HKEY_CLASSES_ROOT")) {
            root.root = HKEY_CLASSES_ROOT;
            root.classesRoot = true;
        } else if (SameText(t, "HKCU") || SameText(t, "HKEY_CURRENT_USER")) {
            root.root = HKEY_CURRENT_USER;
        } else if (SameText(t, "HKLM") || SameText(t, "HKEY_LOCAL_MACHINE")) {
            root.root = HKEY_LOCAL_MACHINE;
        } else if (SameText(t, "HKU") || SameText(t, "HKEY_USERS")) {
            root.root = HKEY_USERS;
        } else {
            return false;
        }
        return true;
    }

    bool PeekIs(const char* word) const {
        if (pos_ >= tokens_.size()) throw ScriptError(LastLine(), std::string("the script ends before '") + word + "'");
        return !tokens_[pos_].quoted && SameText(tokens_[pos_].text, word);
    }
    int LastLine() const { return tokens_.empty() ? 1 : tokens_.back().line; }
    const Token& Next(const char* what) {
        if (pos_ >= tokens_.size()) throw ScriptError(LastLine(), std::string("the script ends where ") + what + " belongs");
        return tokens_[pos_++];
    }
    void Expect(const char* word) {
        const Token& token = Next(word);
        if (token.quoted || !SameText(token.text, word))
            throw ScriptError(token.line, std::string("expected '") + word + "' but found '" + ToUtf8(token.text) + "'");
    }
    static bool IsPunctuation(const Token& token) {
        return !token.quoted && (token.text == OleString(1, '{') || token.text == OleString(1, '}') ||
                                 token.text == OleString(1, '='));
    }

    KeySpec ParseKey() {
        KeySpec key;
        while (true) {
            const Token& token = Next("a key name");
            key.line = token.line;
            if (!token.quoted && SameText(token.text, "NoRemove")) {
                key.noRemove = true;
            } else if (!token.quoted && SameText(token.text, "ForceRemove")) {
                key.forceRemove = true;
            } else if (!token.quoted && SameText(token.text, "Delete")) {
                key.deleteOnRegister = true;
            } else if (!token.quoted && SameText(token.text, "val")) {
                throw ScriptError(token.line, "'val' belongs inside a key's braces");
            } else {
                if (IsPunctuation(token)) throw ScriptError(token.line, "expected a key name but found '" + ToUtf8(token.text) + "'");
                key.name = token.text;
                break;
            }
        }
        if (key.name.empty() || key.name.find('\\') != OleString::npos)
            throw ScriptError(key.line, "a key name must be one non-empty name without '\\'");
        if (pos_ < tokens_.size() && PeekIs("=")) {
            ++pos_;
            key.defaultValue = std::make_unique<ValueSpec>(ParseValue(OleString()));
        }
        if (pos_ < tokens_.size() && PeekIs("{")) {
            ++pos_;
            while (!PeekIs("}")) {
                if (!tokens_[pos_].quoted && SameText(tokens_[pos_].text, "val")) {
                    ++pos_;
                    const Token& name = Next("a value name");
                    if (IsPunctuation(name)) throw ScriptError(name.line, "expected a value name after 'val'");
                    Expect("=");
                    key.values.push_back(ParseValue(name.text));
                } else {
                    key.children.push_back(ParseKey());
                }
            }
            Expect("}");
        }
        return key;
    }

    ValueSpec ParseValue(const OleString& name) {
        ValueSpec value;
        value.name = name;
        const Token& type = Next("a value type");
        const Token& data = Next("value data");
        if (type.quoted) throw ScriptError(type.line, "expected a value type (s, e, d or b)");
        if (SameText(type.text, "s") || SameText(type.text, "e")) {
            value.type = SameText(type.text, "s") ? REG_SZ : REG_EXPAND_SZ;
            for (OLECHAR c : data.text) {
                unsigned unit = static_cast<unsigned>(c) & 0xFFFF;
                value.data.push_back(static_cast<BYTE>(unit & 0xFF));
                value.data.push_back(static_cast<BYTE>(unit >> 8));
            }
            value.data.push_back(0);
            value.data.push_back(0);
        } else if (SameText(type.text, "d")) {
            value.type = REG_DWORD;
            DWORD number = 0;
            if (!ParseNumber(data.text, number)) throw ScriptError(data.line, "'" + ToUtf8(data.text) + "' is not a DWORD number");
            for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<BYTE>(number >> (8 * i)));
        } else if (SameText(type.text, "b")) {
            value.type = REG_BINARY;
            if (data.text.size() % 2 != 0) throw ScriptError(data.line, "binary data needs pairs of hex digits");
            for (size_t i = 0; i < data.text.size(); i += 2) {
                int high = HexDigit(data.text[i]), low = HexDigit(data.text[i + 1]);
                if (high < 0 || low < 0) throw ScriptError(data.line, "binary data holds a character that is not a hex digit");
                value.data.push_back(static_cast<BYTE>(high * 16 + low));
            }
        } else {
            throw ScriptError(type.line, "unknown value type '" + ToUtf8(type.text) + "' (s, e, d or b)");
        }
        return value;
    }

    static int HexDigit(OLECHAR c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }
    static bool ParseNumber(const OleString& text, DWORD& number) {
        unsigned long long value = 0;
        size_t i = 0;
        int base = 10;
        if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
            base = 16;
            i = 2;
        }
        if (i >= text.size()) return false;
        for (; i < text.size(); ++i) {
            int digit = HexDigit(text[i]);
            if (digit < 0 || digit >= base) return false;
            value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
            if (value > 0xFFFFFFFFull) return false;
        }
        number = static_cast<DWORD>(value);
        return true;
    }

    std::vector<Token> tokens_;
    size_t pos_ = 0;
};

// ---- running it, with an undo journal ----

// A registry subtree copied before it is removed, to put it back on failure.
struct Snapshot {
    OleString name;
    std::vector<ValueSpec> values;
    std::vector<Snapshot> children;
};

class KeyHandle {
public:
    KeyHandle() = default;
    ~KeyHandle() {
        if (key_) RegCloseKey(key_);
    }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HKEY* Out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

HRESULT FromStatus(LONG status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

bool ReadSnapshot(HKEY parent, const OleString& name, Snapshot& snapshot) {
    KeyHandle key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return false;
    snapshot.name = name;
    for (DWORD i = 0;; ++i) {
        OLECHAR valueName[16384];
        DWORD nameLength = 16384, type = 0, size = 0;
        if (RegEnumValueW(key.get(), i, valueName, &nameLength, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) break;
        ValueSpec value;
        value.name.assign(valueName, nameLength);
        value.type = type;
        value.data.resize(size);
        nameLength = 16384;
        if (RegEnumValueW(key.get(), i, valueName, &nameLength, nullptr, &type, value.data.empty() ? nullptr : &value.data[0],
                          &size) != ERROR_SUCCESS)
            return false;
        value.data.resize(size);
        snapshot.values.push_back(std::move(value));
    }
    for (DWORD i = 0;; ++i) {
        OLECHAR childName[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key.get(), i, childName, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        Snapshot child;
        if (!ReadSnapshot(key.get(), OleString(childName, length), child)) return false;
        snapshot.children.push_back(std::move(child));
    }
    return true;
}

void WriteSnapshot(HKEY parent, const Snapshot& snapshot) {
    KeyHandle key;
    if (RegCreateKeyExW(parent, snapshot.name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(), nullptr) !=
        ERROR_SUCCESS)
        return;
    for (const ValueSpec& value : snapshot.values)
        RegSetValueExW(key.get(), value.name.empty() ? nullptr : value.name.c_str(), 0, value.type,
                       value.data.empty() ? nullptr : value.data.data(), static_cast<DWORD>(value.data.size()));
    for (const Snapshot& child : snapshot.children) WriteSnapshot(key.get(), child);
}

class Journal {
public:
    // Undo steps run in reverse order; each names its key by a path from an open root.
    void KeyCreated(HKEY root, const OleString& path) { steps_.push_back(Step{Step::RemoveTree, root, path, {}, {}, false}); }
    void TreeRemoved(HKEY root, const OleString& parentPath, Snapshot snapshot) {
        steps_.push_back(Step{Step::RestoreTree, root, parentPath, std::move(snapshot), {}, false});
    }
    void ValueChanged(HKEY root, const OleString& path, ValueSpec previous, bool existed) {
        steps_.push_back(Step{Step::RestoreValue, root, path, {}, std::move(previous), existed});
    }
    void Undo() {
        for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
            if (it->kind == Step::RemoveTree) {
                RegDeleteTreeW(it->root, it->path.c_str());
            } else if (it->kind == Step::RestoreTree) {
                KeyHandle parent;
                if (RegCreateKeyExW(it->root, it->path.empty() ? nullptr : it->path.c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, parent.Out(), nullptr) == ERROR_SUCCESS)
                    WriteSnapshot(parent.get(), it->snapshot);
            } else {
                KeyHandle key;
                if (RegOpenKeyExW(it->root, it->path.c_str(), 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS) continue;
                const OLECHAR* name = it->value.name.empty() ? nullptr : it->value.name.c_str();
                if (it->existed) {
                    RegSetValueExW(key.get(), name, 0, it->value.type, it->value.data.empty() ? nullptr : it->value.data.data(),
                                   static_cast<DWORD>(it->value.data.size()));
                } else {
                    RegDeleteValueW(key.get(), name);
                }
            }
        }
        steps_.clear();
    }

private:
    struct Step {
        enum Kind { RemoveTree, RestoreTree, RestoreValue } kind;
        HKEY root;
        OleString path;
        Snapshot snapshot;
        ValueSpec value;
        bool existed;
    };
    std::vector<Step> steps_;
};

OleString JoinPath(const OleString& parent, const OleString& name) {
    return parent.empty() ? name : parent + OLECHAR('\\') + name;
}

class Runner {
public:
    Runner(HKEY root, Journal& journal) : root_(root), journal_(journal) {}

    HRESULT Register(const OleString& parentPath, const KeySpec& key) {
        OleString path = JoinPath(parentPath, key.name);
        if (key.deleteOnRegister) return RemoveTree(parentPath, key.name);
        if (key.forceRemove) {
            HRESULT hr = RemoveTree(parentPath, key.name);
            if (FAILED(hr)) return hr;
        }
        KeyHandle handle;
        DWORD disposition = 0;
        LONG status = RegCreateKeyExW(root_, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, handle.Out(), &disposition);
        if (status != ERROR_SUCCESS) return FromStatus(status);
        if (disposition == REG_CREATED_NEW_KEY) journal_.KeyCreated(root_, path);
        if (key.defaultValue) {
            HRESULT hr = SetValue(handle.get(), path, *key.defaultValue);
            if (FAILED(hr)) return hr;
        }
        for (const ValueSpec& value : key.values) {
            HRESULT hr = SetValue(handle.get(), path, value);
            if (FAILED(hr)) return hr;
        }
        for (const KeySpec& child : key.children) {
            HRESULT hr = Register(path, child);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

    HRESULT Unregister(const OleString& parentPath, const KeySpec& key) {
        if (key.deleteOnRegister) return S_OK;  // "Delete" acts on registration only
        OleString path = JoinPath(parentPath, key.name);
        {
            KeyHandle handle;
            if (RegOpenKeyExW(root_, path.c_str(), 0, KEY_ALL_ACCESS, handle.Out()) != ERROR_SUCCESS) return S_OK;  // nothing to remove
        }
        if (key.forceRemove && !key.noRemove) return RemoveTree(parentPath, key.name);
        for (const KeySpec& child : key.children) {
            HRESULT hr = Unregister(path, child);
            if (FAILED(hr)) return hr;
        }
        KeyHandle handle;
        LONG status = RegOpenKeyExW(root_, path.c_str(), 0, KEY_ALL_ACCESS, handle.Out());
        if (status != ERROR_SUCCESS) return FromStatus(status);
        for (const ValueSpec& value : key.values) {
            HRESULT hr = RemoveValue(handle.get(), path, value.name);
            if (FAILED(hr)) return hr;
        }
        if (key.noRemove) return S_OK;
        DWORD subkeys = 0;
        status = RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) return FromStatus(status);
        if (subkeys != 0) return S_OK;  // something else lives below: keep the key
        return RemoveTree(parentPath, key.name);
    }

private:
    HRESULT RemoveTree(const OleString& parentPath, const OleString& name) {
        KeyHandle parent;
        LONG status = parentPath.empty() ? ERROR_SUCCESS
                                         : RegOpenKeyExW(root_, parentPath.c_str(), 0, KEY_ALL_ACCESS, parent.Out());
        if (status == ERROR_FILE_NOT_FOUND) return S_OK;
        if (status != ERROR_SUCCESS) return FromStatus(status);
        HKEY parentKey = parentPath.empty() ? root_ : parent.get();
        Snapshot snapshot;
        if (!ReadSnapshot(parentKey, name, snapshot)) return S_OK;  // not there
        status = RegDeleteTreeW(parentKey, name.c_str());
        if (status == ERROR_FILE_NOT_FOUND) return S_OK;
        if (status != ERROR_SUCCESS) return FromStatus(status);
        journal_.TreeRemoved(root_, parentPath, std::move(snapshot));
        return S_OK;
    }

    HRESULT SetValue(HKEY key, const OleString& path, const ValueSpec& value) {
        const OLECHAR* name = value.name.empty() ? nullptr : value.name.c_str();
        ValueSpec previous;
        previous.name = value.name;
        DWORD size = 0;
        bool existed = RegQueryValueExW(key, name, nullptr, &previous.type, nullptr, &size) == ERROR_SUCCESS;
        if (existed) {
            previous.data.resize(size);
            RegQueryValueExW(key, name, nullptr, &previous.type, previous.data.empty() ? nullptr : &previous.data[0], &size);
        }
        LONG status = RegSetValueExW(key, name, 0, value.type, value.data.data(), static_cast<DWORD>(value.data.size()));
        if (status != ERROR_SUCCESS) return FromStatus(status);
        journal_.ValueChanged(root_, path, std::move(previous), existed);
        return S_OK;
    }

    HRESULT RemoveValue(HKEY key, const OleString& path, const OleString& valueName) {
        const OLECHAR* name = valueName.empty() ? nullptr : valueName.c_str();
        ValueSpec previous;
        previous.name = valueName;
        DWORD size = 0;
        if (RegQueryValueExW(key, name, nullptr, &previous.type, nullptr, &size) != ERROR_SUCCESS) return S_OK;
        previous.data.resize(size);
        RegQueryValueExW(key, name, nullptr, &previous.type, previous.data.empty() ? nullptr : &previous.data[0], &size);
        LONG status = RegDeleteValueW(key, name);
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) return FromStatus(status);
        journal_.ValueChanged(root_, path, std::move(previous), true);
        return S_OK;
    }

    HKEY root_;
    Journal& journal_;
};

const OLECHAR kUserClasses[] = {'S', 'o', 'f', 't', 'w', 'a', 'r', 'e', '\\', 'C', 'l', 'a', 's', 's', 'e', 's', 0};

}  // namespace

void Registrar::AddReplacement(const OLECHAR* name, const OLECHAR* value) {
    Replacement replacement{name ? name : OleString(), value ? value : OleString()};
    for (Replacement& existing : replacements_) {
        if (SameText(existing.name, replacement.name)) {
            existing.value = replacement.value;
            return;
        }
    }
    replacements_.push_back(std::move(replacement));
}

HRESULT Registrar::Run(const void* script, size_t size, bool registering) {
    lastError_.clear();
    auto fail = [this](HRESULT hr, const std::string& message) {
        lastError_ = message;
        std::string text = "registrar: " + message + "\n";
        OutputDebugStringA(text.c_str());
        return hr;
    };
    if (!script && size) return fail(E_POINTER, "no script");
    OleString text;
    if (!DecodeScript(static_cast<const unsigned char*>(script), size, text))
        return fail(DISP_E_EXCEPTION, "the registration script is neither UTF-8 nor UTF-16 text");
    std::vector<RootSpec> roots;
    try {
        roots = Parser(Lexer(text, replacements_).Run()).Run();
    } catch (const ScriptError& error) {
        return fail(DISP_E_EXCEPTION, error.Text());  // nothing was written
    } catch (const std::bad_alloc&) {
        return fail(E_OUTOFMEMORY, "out of memory while reading the registration script");
    }

    Journal journal;
    HRESULT hr = S_OK;
    try {
        for (const RootSpec& root : roots) {
            KeyHandle redirected;
            HKEY rootKey = root.root;
            if (root.classesRoot && perUser_) {
                LONG status = RegCreateKeyExW(HKEY_CURRENT_USER, kUserClasses, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                              redirected.Out(), nullptr);
                if (status != ERROR_SUCCESS) {
                    hr = FromStatus(status);
                    break;
                }
                rootKey = redirected.get();
            }
            Runner runner(rootKey, journal);
            for (const KeySpec& key : root.keys) {
                hr = registering ? runner.Register(OleString(), key) : runner.Unregister(OleString(), key);
                if (FAILED(hr)) break;
            }
            if (FAILED(hr)) {
                journal.Undo();  // while the redirected root is still open
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        journal.Undo();
        return fail(E_OUTOFMEMORY, "out of memory while writing the registry");
    }
    if (FAILED(hr)) {
        journal.Undo();
        char code[16];
        snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
        return fail(hr, std::string("the registry refused a change (") + code + "); what this run wrote was undone");
    }
    return S_OK;
}

HRESULT Registrar::RunResource(HMODULE module, UINT resourceId, bool registering) {
    static const OLECHAR kRegistryType[] = {'R', 'E', 'G', 'I', 'S', 'T', 'R', 'Y', 0};
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(resourceId), kRegistryType);
    if (!resource) {
        DWORD error = GetLastError();
        lastError_ = "no REGISTRY resource " + std::to_string(resourceId) + " in the module";
        std::string text = "registrar: " + lastError_ + "\n";
        OutputDebugStringA(text.c_str());
        return HRESULT_FROM_WIN32(error ? error : ERROR_RESOURCE_NAME_NOT_FOUND);
    }
    HGLOBAL loaded = LoadResource(module, resource);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    DWORD size = SizeofResource(module, resource);
    if (!data) return HRESULT_FROM_WIN32(GetLastError() ? GetLastError() : ERROR_RESOURCE_DATA_NOT_FOUND);
    return Run(data, size, registering);
}

}  // namespace comserver
