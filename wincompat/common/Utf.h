// UTF-8 <-> UTF-16 for all of wincompat: the code-page conversion, the DOM and
// the library's own files and names. Ill-formed input becomes U+FFFD, one per
// maximal ill-formed subsequence, as Windows converts CP_UTF8. Header only.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <cstring>
#include <string>
#include <string_view>

namespace wincompat {

constexpr char16_t kReplacementCharacter = 0xFFFD;

// Number of continuation bytes a UTF-8 lead byte announces, or -1 if it can
// begin nothing (a continuation byte, C0, C1, F5 to FF).
inline int Utf8ContinuationCount(unsigned char lead) {
    if (lead < 0x80) return 0;
    if (lead >= 0xC2 && lead <= 0xDF) return 1;
    if (lead >= 0xE0 && lead <= 0xEF) return 2;
    if (lead >= 0xF0 && lead <= 0xF4) return 3;
    return -1;
}

// Whether `byte` may follow `lead` as its first continuation byte. The
// narrower ranges after E0, ED, F0 and F4 refuse overlong forms, surrogates
// and code points above U+10FFFF; every later continuation byte is 80 to BF.
inline bool Utf8FirstContinuationFits(unsigned char lead, unsigned char byte) {
    unsigned char low = 0x80, high = 0xBF;
    if (lead == 0xE0)
        low = 0xA0;
    else if (lead == 0xED)
        high = 0x9F;
    else if (lead == 0xF0)
        low = 0x90;
    else if (lead == 0xF4)
        high = 0x8F;
    return byte >= low && byte <= high;
}

// Decodes the code point at text[pos] and advances pos past it. False for an
// ill-formed subsequence, which pos then skips as a whole (at least one byte).
inline bool DecodeUtf8CodePoint(const unsigned char* text, size_t length, size_t& pos, char32_t& codePoint) {
    const unsigned char lead = text[pos++];
    const int more = Utf8ContinuationCount(lead);
    if (more <= 0) {
        codePoint = lead;
        return more == 0;
    }
    if (pos >= length || !Utf8FirstContinuationFits(lead, text[pos])) return false;
    codePoint = ((lead & (0x3Fu >> more)) << 6) | (text[pos++] & 0x3Fu);
    for (int i = 2; i <= more; ++i) {
        if (pos >= length || (text[pos] & 0xC0) != 0x80) return false;
        codePoint = (codePoint << 6) | (text[pos++] & 0x3Fu);
    }
    return true;
}

// Whether the eight bytes at `text` are all ASCII.
inline bool AreEightAscii(const unsigned char* text) {
    uint64_t word;
    std::memcpy(&word, text, sizeof word);
    return (word & 0x8080808080808080u) == 0;
}

// Whether the four UTF-16 units at `text` are all ASCII.
inline bool AreFourAscii(const char16_t* text) {
    uint64_t word;
    std::memcpy(&word, text, sizeof word);
    return (word & 0xFF80FF80FF80FF80u) == 0;
}

// Decodes `length` bytes into `sink`: sink.PutAscii(run, n) takes a run of
// ASCII bytes (the same units in UTF-16), sink.Put(unit) every other UTF-16
// unit. Returns false if any subsequence was ill-formed.
template <class Sink>
bool DecodeUtf8(const unsigned char* text, size_t length, Sink& sink) {
    bool wellFormed = true;
    size_t pos = 0;
    while (pos < length) {
        // ASCII eight bytes at a time where it runs that long: short runs
        // between other characters cost no more than single bytes.
        if (text[pos] < 0x80) {
            if (pos + 8 <= length && AreEightAscii(text + pos)) {
                sink.PutAscii(text + pos, 8);
                pos += 8;
            } else {
                sink.Put(static_cast<char16_t>(text[pos++]));
            }
            continue;
        }
        char32_t codePoint = 0;
        if (!DecodeUtf8CodePoint(text, length, pos, codePoint)) {
            sink.Put(kReplacementCharacter);
            wellFormed = false;
        } else if (codePoint < 0x10000) {
            sink.Put(static_cast<char16_t>(codePoint));
        } else {
            codePoint -= 0x10000;
            sink.Put(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
            sink.Put(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
        }
    }
    return wellFormed;
}

// Writes one code point as UTF-8 bytes into `sink` (sink.Put(byte)).
template <class Sink>
void EncodeUtf8CodePoint(char32_t codePoint, Sink& sink) {
    if (codePoint < 0x80) {
        sink.Put(static_cast<char>(codePoint));
    } else if (codePoint < 0x800) {
        sink.Put(static_cast<char>(0xC0 | (codePoint >> 6)));
        sink.Put(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        sink.Put(static_cast<char>(0xE0 | (codePoint >> 12)));
        sink.Put(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        sink.Put(static_cast<char>(0x80 | (codePoint & 0x3F)));
    } else {
        sink.Put(static_cast<char>(0xF0 | (codePoint >> 18)));
        sink.Put(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
        sink.Put(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
        sink.Put(static_cast<char>(0x80 | (codePoint & 0x3F)));
    }
}

// Encodes `length` UTF-16 units into `sink`: sink.PutAscii(run, n) takes a run
// of ASCII units, sink.Put(byte) every other byte. An unpaired surrogate
// becomes U+FFFD; returns false if there was one.
template <class Sink>
bool EncodeUtf8(const char16_t* text, size_t length, Sink& sink) {
    bool wellFormed = true;
    size_t i = 0;
    while (i < length) {
        if (text[i] < 0x80) {  // as DecodeUtf8 takes ASCII, four units at a time here
            if (i + 4 <= length && AreFourAscii(text + i)) {
                sink.PutAscii(text + i, 4);
                i += 4;
            } else {
                sink.Put(static_cast<char>(text[i++]));
            }
            continue;
        }
        const char32_t unit = text[i++];
        if (unit >= 0xD800 && unit <= 0xDBFF && i < length && text[i] >= 0xDC00 && text[i] <= 0xDFFF) {
            EncodeUtf8CodePoint(0x10000 + ((unit - 0xD800) << 10) + (text[i++] - 0xDC00), sink);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            EncodeUtf8CodePoint(kReplacementCharacter, sink);
            wellFormed = false;
        } else {
            EncodeUtf8CodePoint(unit, sink);
        }
    }
    return wellFormed;
}

// Counts the units it is given and, while they fit, writes them straight into
// a caller's buffer: one pass, no temporary copy of a large text. A null
// buffer only counts.
template <class Unit>
class BoundedSink {
public:
    BoundedSink(Unit* out, size_t capacity) : out_(out), capacity_(out ? capacity : 0) {}
    void Put(Unit unit) {
        if (count_ < capacity_) out_[count_] = unit;
        ++count_;
    }
    // A run of ASCII: copied as far as it fits, counted whole.
    template <class From>
    void PutAscii(const From* run, size_t n) {
        const size_t room = count_ < capacity_ ? capacity_ - count_ : 0;
        const size_t fits = n < room ? n : room;
        for (size_t i = 0; i < fits; ++i) out_[count_ + i] = static_cast<Unit>(run[i]);
        count_ += n;
    }
    size_t Count() const { return count_; }

private:
    Unit* out_;
    size_t capacity_;
    size_t count_ = 0;
};

// Writes what it is given through a pointer, into room the caller has made
// for the longest result: no UTF-16 unit for more than one UTF-8 byte, no
// more than 3 UTF-8 bytes for one UTF-16 unit.
template <class Unit>
class UnitWriter {
public:
    explicit UnitWriter(Unit* out) : begin_(out), out_(out) {}
    void Put(Unit unit) { *out_++ = unit; }
    template <class From>
    void PutAscii(const From* run, size_t n) {
        for (size_t i = 0; i < n; ++i) out_[i] = static_cast<Unit>(run[i]);
        out_ += n;
    }
    size_t Count() const { return static_cast<size_t>(out_ - begin_); }

private:
    Unit* begin_;
    Unit* out_;
};

// Whether every unit is ASCII: one pass that the compiler vectorises.
template <class Unit>
bool IsAscii(const Unit* text, size_t length) {
    Unit seen = 0;
    for (size_t i = 0; i < length; ++i) seen = static_cast<Unit>(seen | text[i]);
    return seen < 0x80;
}

// Decodes into `sink`; most text is ASCII, taken in one widening copy.
template <class Sink>
bool DecodeUtf8Text(const unsigned char* text, size_t length, Sink& sink) {
    if (!IsAscii(text, length)) return DecodeUtf8(text, length, sink);
    sink.PutAscii(text, length);
    return true;
}

// Whole strings, each converted in one pass into room for the longest result.
inline std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out(text.size(), u'\0');
    UnitWriter<char16_t> written(out.data());
    DecodeUtf8Text(reinterpret_cast<const unsigned char*>(text.data()), text.size(), written);
    out.resize(written.Count());
    return out;
}

inline std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out(text.size() * 3, '\0');
    UnitWriter<char> written(out.data());
    if (IsAscii(text.data(), text.size())) {
        written.PutAscii(text.data(), text.size());
    } else {
        EncodeUtf8(text.data(), text.size(), written);
    }
    out.resize(written.Count());
    return out;
}

inline std::u16string Utf16FromPointer(const char16_t* text) { return text ? std::u16string(text) : std::u16string(); }

}  // namespace wincompat
