// Registrar: a registration script decoded, lexed and parsed whole, then run
// against the registry with an undo journal (the pieces are in this folder).
#include "comserver/Registrar.h"

#include <climits>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "RegistryKey.h"
#include "RegistryScript.h"
#include "ScriptLexer.h"
#include "ScriptParser.h"
#include "ScriptRunner.h"
#include "UndoJournal.h"

namespace comserver {
using namespace registration;

namespace {

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
