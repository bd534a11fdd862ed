// FormatMessageW: message texts from the system table or a caller's string, with
// Windows' insert and escape sequences and its line-width handling.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/Utf.h"
#include "kernel/SystemMessages.h"

namespace {

constexpr DWORD kKnownFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                              FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM |
                              FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_MAX_WIDTH_MASK;
constexpr int kMaxInsert = 99;

DWORD Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The system table holds English texts only.
bool HasTextsInLanguage(DWORD languageId) {
    WORD primary = static_cast<WORD>(languageId & 0x3FF);
    return languageId == 0 || primary == LANG_NEUTRAL || primary == LANG_ENGLISH;
}

// How an insert's printf-style format ("!08X!", "!s!") reads its argument.
struct InsertFormat {
    std::string flags;  // flags, width and precision, e.g. "-08"
    bool wide64 = false;
    char conversion = 's';
    bool narrowText = false;  // "S" or "hs": a char* string

    bool IsText() const { return conversion == 's' || conversion == 'S'; }
    bool IsCharacter() const { return conversion == 'c' || conversion == 'C'; }
};

bool ParseInsertFormat(const std::u16string& text, InsertFormat& format) {
    size_t pos = 0;
    while (pos < text.size() && (text[pos] == u'-' || text[pos] == u'+' || text[pos] == u' ' || text[pos] == u'#' ||
                                 text[pos] == u'0' || IsDigit(text[pos]) || text[pos] == u'.'))
        format.flags.push_back(static_cast<char>(text[pos++]));
    if (text.compare(pos, 3, u"I64") == 0) {
        format.wide64 = true;
        pos += 3;
    } else if (pos < text.size() && (text[pos] == u'l' || text[pos] == u'w')) {
        ++pos;
    } else if (pos < text.size() && text[pos] == u'h') {
        format.narrowText = true;
        ++pos;
    }
    if (pos + 1 != text.size()) return false;
    char16_t conversion = text[pos];
    if (conversion == u'S' || conversion == u'C') format.narrowText = true;
    switch (conversion) {
        case u's':
        case u'S':
        case u'c':
        case u'C':
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
        case u'o': format.conversion = static_cast<char>(conversion); return true;
        default: return false;
    }
}

// One piece of a parsed message: literal text, a hard line break, or an insert.
struct Piece {
    enum Kind { Text, HardBreak, Insert } kind;
    std::u16string text;
    int insert = 0;
    InsertFormat format;
};

// Splits a message into pieces. Returns false for a malformed insert format.
bool ParseMessage(const char16_t* message, std::vector<Piece>& pieces) {
    auto appendText = [&pieces](const std::u16string& text) {
        if (pieces.empty() || pieces.back().kind != Piece::Text) pieces.push_back(Piece{Piece::Text, u"", 0, {}});
        pieces.back().text += text;
    };
    for (const char16_t* p = message; *p; ++p) {
        if (*p != u'%') {
            appendText(std::u16string(1, *p));
            continue;
        }
        char16_t next = p[1];
        if (next == 0) {
            appendText(u"%");
            break;
        }
        ++p;
        if (next >= u'1' && next <= u'9') {
            int number = next - u'0';
            if (IsDigit(p[1])) number = number * 10 + (*++p - u'0');
            Piece piece{Piece::Insert, u"", number, {}};
            if (p[1] == u'!') {
                const char16_t* end = p + 2;
                while (*end && *end != u'!') ++end;
                if (!*end || !ParseInsertFormat(std::u16string(p + 2, end), piece.format)) return false;
                p = end;
            }
            pieces.push_back(piece);
        } else if (next == u'0') {
            return true;  // %0 ends the message without its line break
        } else if (next == u'n') {
            pieces.push_back(Piece{Piece::HardBreak, u"", 0, {}});
        } else if (next == u'r') {
            appendText(u"\r");
        } else if (next == u't') {
            appendText(u"\t");
        } else if (next == u'b') {
            appendText(u" ");
        } else {
            appendText(std::u16string(1, next));  // "%%", "%.", "%!" and the like
        }
    }
    return true;
}

// The argument values, one slot per insert number, read in number order from a
// va_list (where each slot's type comes from its insert's format) or from an array.
bool CollectArguments(const std::vector<Piece>& pieces, va_list* arguments, bool fromArray,
                      std::vector<ULONGLONG>& values) {
    int highest = 0;
    std::vector<const InsertFormat*> formats(kMaxInsert + 1, nullptr);
    for (const Piece& piece : pieces) {
        if (piece.kind != Piece::Insert) continue;
        highest = std::max(highest, piece.insert);
        if (!formats[piece.insert]) formats[piece.insert] = &piece.format;
    }
    values.assign(static_cast<size_t>(highest) + 1, 0);
    if (highest == 0) return true;
    if (!arguments) return false;
    if (fromArray) {
        const DWORD_PTR* array = reinterpret_cast<const DWORD_PTR*>(arguments);
        for (int i = 1; i <= highest; ++i) values[static_cast<size_t>(i)] = array[i - 1];
        return true;
    }
    for (int i = 1; i <= highest; ++i) {
        const InsertFormat* format = formats[static_cast<size_t>(i)];
        if (format && format->wide64) {
            values[static_cast<size_t>(i)] = va_arg(*arguments, ULONGLONG);
        } else if (format && !format->IsText()) {
            values[static_cast<size_t>(i)] = va_arg(*arguments, unsigned int);
        } else {
            values[static_cast<size_t>(i)] = reinterpret_cast<uintptr_t>(va_arg(*arguments, void*));
        }
    }
    return true;
}

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

// Pads text to the width in the flags ("-" aligns left).
std::u16string Pad(std::u16string text, const std::string& flags) {
    bool left = flags.find('-') != std::string::npos;
    size_t start = flags.find_first_of("123456789");
    if (start == std::string::npos) return text;
    size_t width = static_cast<size_t>(atoi(flags.c_str() + start));
    if (text.size() < width) text.insert(left ? text.size() : 0, width - text.size(), u' ');
    return text;
}

std::u16string FormatInsert(const InsertFormat& format, ULONGLONG value) {
    if (format.IsText()) {
        if (value == 0) return Pad(u"(null)", format.flags);
        if (format.narrowText) return Pad(wincompat::Utf8ToUtf16(reinterpret_cast<const char*>(value)), format.flags);
        return Pad(std::u16string(reinterpret_cast<const char16_t*>(value)), format.flags);
    }
    if (format.IsCharacter()) {
        char16_t c =
            format.narrowText ? static_cast<char16_t>(static_cast<unsigned char>(value)) : static_cast<char16_t>(value);
        return Pad(std::u16string(1, c), format.flags);
    }
    std::string printfFormat = "%" + format.flags + "ll" + format.conversion;
    bool isSigned = format.conversion == 'd' || format.conversion == 'i';
    long long number = format.wide64 ? static_cast<long long>(value)
                                     : (isSigned ? static_cast<long long>(static_cast<int32_t>(value))
                                                 : static_cast<long long>(static_cast<uint32_t>(value)));
    char buffer[96];
    snprintf(buffer, sizeof buffer, printfFormat.c_str(), number);
    return Widen(buffer);
}

// Breaks each line at spaces so that none exceeds `width` characters where a space allows it.
std::u16string WrapLines(const std::u16string& text, size_t width) {
    std::u16string wrapped;
    size_t lineStart = 0;
    while (lineStart <= text.size()) {
        size_t lineEnd = text.find(u"\r\n", lineStart);
        std::u16string line =
            text.substr(lineStart, lineEnd == std::u16string::npos ? std::u16string::npos : lineEnd - lineStart);
        while (line.size() > width) {
            size_t split = line.rfind(u' ', width);
            if (split == std::u16string::npos || split == 0) break;
            wrapped += line.substr(0, split) + u"\r\n";
            line.erase(0, split + 1);
        }
        wrapped += line;
        if (lineEnd == std::u16string::npos) break;
        wrapped += u"\r\n";
        lineStart = lineEnd + 2;
    }
    return wrapped;
}

// Applies the width byte: 0 keeps the message's own line breaks; any other value
// turns them into blanks, and a width below FORMAT_MESSAGE_MAX_WIDTH_MASK also wraps.
std::u16string Render(const std::vector<Piece>& pieces, const std::vector<ULONGLONG>* values, DWORD width) {
    std::u16string text;
    for (const Piece& piece : pieces) {
        switch (piece.kind) {
            case Piece::HardBreak: text += u"\r\n"; break;
            case Piece::Insert: text += FormatInsert(piece.format, (*values)[static_cast<size_t>(piece.insert)]); break;
            case Piece::Text:
                if (width == 0) {
                    text += piece.text;
                    break;
                }
                for (size_t i = 0; i < piece.text.size(); ++i) {
                    if (piece.text[i] == u'\r' && i + 1 < piece.text.size() && piece.text[i + 1] == u'\n') ++i;
                    text.push_back(piece.text[i] == u'\n' ? u' ' : piece.text[i]);
                }
                break;
        }
    }
    if (width != 0 && width != FORMAT_MESSAGE_MAX_WIDTH_MASK) text = WrapLines(text, width);
    return text;
}

DWORD Deliver(const std::u16string& text, DWORD flags, LPWSTR lpBuffer, DWORD nSize) {
    if (text.size() >= 0x7FFFFFFF) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    DWORD length = static_cast<DWORD>(text.size());
    if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
        // lpBuffer really points at the caller's pointer; nSize is the least to allocate.
        size_t characters = std::max<size_t>(nSize, length + 1);
        LPWSTR allocated = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, characters * sizeof(WCHAR)));
        if (!allocated) return Fail(ERROR_NOT_ENOUGH_MEMORY);
        memcpy(allocated, text.c_str(), (length + 1) * sizeof(WCHAR));
        *reinterpret_cast<LPWSTR*>(lpBuffer) = allocated;
        return length;
    }
    if (length + 1 > nSize) return Fail(ERROR_INSUFFICIENT_BUFFER);
    memcpy(lpBuffer, text.c_str(), (length + 1) * sizeof(WCHAR));
    return length;
}

}  // namespace

extern "C" DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                       LPWSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    if ((dwFlags & ~kKnownFlags) || !lpBuffer) return Fail(ERROR_INVALID_PARAMETER);
    if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) *reinterpret_cast<LPWSTR*>(lpBuffer) = nullptr;

    const char16_t* message = nullptr;
    if (dwFlags & FORMAT_MESSAGE_FROM_STRING) {
        message = static_cast<const char16_t*>(lpSource);
        if (!message) return Fail(ERROR_INVALID_PARAMETER);
    } else if (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) {
        // A module's own message table would come first; no module here carries one.
        if (!HasTextsInLanguage(dwLanguageId)) return Fail(ERROR_RESOURCE_LANG_NOT_FOUND);
        message = wincompat::FindSystemMessage(dwMessageId);
        if (!message) return Fail(ERROR_MR_MID_NOT_FOUND);
    } else if (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) {
        return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND);
    } else {
        return Fail(ERROR_INVALID_PARAMETER);
    }

    DWORD width = dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
    std::vector<Piece> pieces;
    if (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) {
        // The text passes through unchanged, inserts and escapes included.
        pieces.push_back(Piece{Piece::Text, message, 0, {}});
        return Deliver(Render(pieces, nullptr, width), dwFlags, lpBuffer, nSize);
    }
    if (!ParseMessage(message, pieces)) return Fail(ERROR_INVALID_PARAMETER);
    std::vector<ULONGLONG> values;
    if (!CollectArguments(pieces, Arguments, (dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0, values))
        return Fail(ERROR_INVALID_PARAMETER);
    return Deliver(Render(pieces, &values, width), dwFlags, lpBuffer, nSize);
}
