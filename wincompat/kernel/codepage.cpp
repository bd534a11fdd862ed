// Code-page conversion between UTF-16 and UTF-8. The ANSI and OEM code pages
// of this platform are UTF-8, so CP_ACP, CP_OEMCP and CP_THREAD_ACP convert as
// CP_UTF8 does. Ill-formed input becomes U+FFFD, one per maximal ill-formed
// subsequence as Windows does, unless the caller asks for the error instead.
#include <windows.h>

#include <cstring>

namespace {
constexpr char16_t kReplacement = 0xFFFD;
// Flags the ANSI code page accepts; they change nothing for UTF-8 text.
constexpr DWORD kAnsiMultiByteFlags = MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
constexpr DWORD kAnsiWideFlags =
    WC_DISCARDNS | WC_SEPCHARS | WC_DEFAULTCHAR | WC_COMPOSITECHECK | WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS;

bool IsUtf8CodePage(UINT codePage) {
    return codePage == CP_UTF8 || codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP;
}

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// The range a continuation byte must lie in, given the lead byte and its position
// after the lead (1-based). Narrower ranges exclude overlong forms, surrogates and
// code points above U+10FFFF.
bool ContinuationFits(unsigned char lead, int position, unsigned char byte) {
    unsigned char low = 0x80, high = 0xBF;
    if (position == 1) {
        if (lead == 0xE0) low = 0xA0;
        else if (lead == 0xED) high = 0x9F;
        else if (lead == 0xF0) low = 0x90;
        else if (lead == 0xF4) high = 0x8F;
    }
    return byte >= low && byte <= high;
}

// Number of continuation bytes a lead byte announces, or -1 if it can begin nothing.
int ContinuationCount(unsigned char lead) {
    if (lead < 0x80) return 0;
    if (lead >= 0xC2 && lead <= 0xDF) return 1;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead >= 0xF0 && lead <= 0xF4) return 3;
    return -1;
}

// Decodes one code point at text[pos], advancing pos. Returns false for an ill-formed
// subsequence, which is then skipped as a whole (at least one byte).
bool DecodeUtf8(const unsigned char* text, size_t length, size_t& pos, char32_t& codePoint) {
    unsigned char lead = text[pos++];
    int more = ContinuationCount(lead);
    if (more < 0) return false;
    codePoint = more == 0 ? lead : (lead & (0x3F >> more));
    for (int i = 1; i <= more; ++i) {
        if (pos >= length || !ContinuationFits(lead, i, text[pos])) return false;
        codePoint = (codePoint << 6) | (text[pos++] & 0x3F);
    }
    return true;
}

// Counts the converted units and, while they fit, writes them straight into
// the caller's buffer: one pass, no temporary copy of a large text.
template <typename Unit>
class ConversionSink {
public:
    ConversionSink(Unit* out, size_t capacity) : out_(out), capacity_(out ? capacity : 0) {}
    void Put(Unit unit) {
        if (count_ < capacity_) out_[count_] = unit;
        ++count_;
    }
    // A run of ASCII, which is the same in both encodings: copied unit by unit
    // as far as it fits, counted whole.
    template <typename From>
    void PutAscii(const From* run, size_t n) {
        size_t room = count_ < capacity_ ? capacity_ - count_ : 0;
        size_t fits = n < room ? n : room;
        for (size_t i = 0; i < fits; ++i) out_[count_ + i] = static_cast<Unit>(run[i]);
        count_ += n;
    }
    size_t Count() const { return count_; }

private:
    Unit* out_;
    size_t capacity_;
    size_t count_ = 0;
};

void PutUtf16(ConversionSink<char16_t>& out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out.Put(static_cast<char16_t>(codePoint));
    } else {
        codePoint -= 0x10000;
        out.Put(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
        out.Put(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    }
}

void PutUtf8(ConversionSink<char>& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.Put(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        out.Put(static_cast<char>(0xC0 | (codePoint >> 6)));
        out.Put(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.Put(static_cast<char>(0xE0 | (codePoint >> 12)));
        out.Put(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.Put(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        out.Put(static_cast<char>(0xF0 | (codePoint >> 18)));
        out.Put(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.Put(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.Put(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// Converts all of `length` bytes; returns false if any subsequence was ill-formed.
bool Utf8ToUtf16(const unsigned char* text, size_t length, ConversionSink<char16_t>& out) {
    bool wellFormed = true;
    size_t pos = 0;
    while (pos < length) {
        size_t run = pos;
        while (run < length && text[run] < 0x80) ++run;
        if (run > pos) {
            out.PutAscii(text + pos, run - pos);
            pos = run;
            continue;
        }
        char32_t codePoint = 0;
        if (DecodeUtf8(text, length, pos, codePoint)) {
            PutUtf16(out, codePoint);
        } else {
            out.Put(kReplacement);
            wellFormed = false;
        }
    }
    return wellFormed;
}

// Converts all of `length` UTF-16 units; returns false if any surrogate was unpaired.
bool Utf16ToUtf8(const char16_t* text, size_t length, ConversionSink<char>& out) {
    bool wellFormed = true;
    for (size_t i = 0; i < length; ++i) {
        size_t run = i;
        while (run < length && text[run] < 0x80) ++run;
        if (run > i) {
            out.PutAscii(text + i, run - i);
            i = run - 1;
            continue;
        }
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            PutUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            PutUtf8(out, kReplacement);
            wellFormed = false;
        } else {
            PutUtf8(out, unit);
        }
    }
    return wellFormed;
}

size_t Utf16Length(const char16_t* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}
}  // namespace

extern "C" int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                          LPWSTR lpWideCharStr, int cchWideChar) {
    if (!IsUtf8CodePage(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
    DWORD allowed = CodePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : kAnsiMultiByteFlags;
    if (dwFlags & ~allowed) return Fail(ERROR_INVALID_FLAGS);
    if (!lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 || cchWideChar < 0 ||
        (cchWideChar > 0 && !lpWideCharStr) ||
        static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))
        return Fail(ERROR_INVALID_PARAMETER);

    // A length of -1 takes the text up to and including its terminator.
    size_t length = cbMultiByte == -1 ? strlen(lpMultiByteStr) + 1 : static_cast<size_t>(cbMultiByte);
    ConversionSink<char16_t> converted(lpWideCharStr, static_cast<size_t>(cchWideChar));
    bool wellFormed = Utf8ToUtf16(reinterpret_cast<const unsigned char*>(lpMultiByteStr), length, converted);
    if (!wellFormed && (dwFlags & MB_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (converted.Count() > static_cast<size_t>(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
    int needed = static_cast<int>(converted.Count());
    if (cchWideChar == 0) return needed;
    if (needed > cchWideChar) return Fail(ERROR_INSUFFICIENT_BUFFER);
    return needed;
}

extern "C" int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                          LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                          LPBOOL lpUsedDefaultChar) {
    if (!IsUtf8CodePage(CodePage)) return Fail(ERROR_INVALID_PARAMETER);
    DWORD allowed = CodePage == CP_UTF8 ? WC_ERR_INVALID_CHARS : kAnsiWideFlags;
    if (dwFlags & ~allowed) return Fail(ERROR_INVALID_FLAGS);
    // UTF-8 can encode everything, so Windows refuses a default character for it.
    if (CodePage == CP_UTF8 && (lpDefaultChar || lpUsedDefaultChar)) return Fail(ERROR_INVALID_PARAMETER);
    if (!lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 || cbMultiByte < 0 ||
        (cbMultiByte > 0 && !lpMultiByteStr) ||
        static_cast<const void*>(lpMultiByteStr) == static_cast<const void*>(lpWideCharStr))
        return Fail(ERROR_INVALID_PARAMETER);

    size_t length = cchWideChar == -1 ? Utf16Length(lpWideCharStr) + 1 : static_cast<size_t>(cchWideChar);
    ConversionSink<char> converted(lpMultiByteStr, static_cast<size_t>(cbMultiByte));
    bool wellFormed = Utf16ToUtf8(lpWideCharStr, length, converted);
    if (!wellFormed && (dwFlags & WC_ERR_INVALID_CHARS)) return Fail(ERROR_NO_UNICODE_TRANSLATION);
    if (lpUsedDefaultChar) *lpUsedDefaultChar = wellFormed ? FALSE : TRUE;
    if (converted.Count() > static_cast<size_t>(INT32_MAX)) return Fail(ERROR_INVALID_PARAMETER);
    int needed = static_cast<int>(converted.Count());
    if (cbMultiByte == 0) return needed;
    if (needed > cbMultiByte) return Fail(ERROR_INSUFFICIENT_BUFFER);
    return needed;
}
