// Decodes a policy file to UTF-8 with iconv: the encoding its byte order mark or XML declaration
// names, else UTF-8; a byte that does not decode is refused with its offset.
#include "PolicyText.h"

#include <iconv.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <vector>

#include "HostError.h"

namespace morvhost {
namespace {

struct ByteOrderMark {
    const char* bytes;
    size_t length;
    const char* encoding;
};

// Longest first: the UTF-32 little-endian mark starts with UTF-16's.
const ByteOrderMark kMarks[] = {{"\xFF\xFE\x00\x00", 4, "UTF-32LE"},
                                {"\x00\x00\xFE\xFF", 4, "UTF-32BE"},
                                {"\xEF\xBB\xBF", 3, "UTF-8"},
                                {"\xFF\xFE", 2, "UTF-16LE"},
                                {"\xFE\xFF", 2, "UTF-16BE"}};

struct Converter {
    explicit Converter(const std::string& from) : handle(iconv_open("UTF-8", from.c_str())) {}
    ~Converter() {
        if (Valid()) iconv_close(handle);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Valid() const { return handle != reinterpret_cast<iconv_t>(-1); }
    iconv_t handle;
};

// The value of encoding="..." in an XML declaration at the very start, or empty.
std::string DeclaredEncoding(const std::string& bytes) {
    if (bytes.compare(0, 5, "<?xml") != 0 || bytes.size() < 6 || !std::isspace(static_cast<unsigned char>(bytes[5])))
        return std::string();
    size_t end = bytes.find("?>");
    if (end == std::string::npos) return std::string();
    std::string declaration = bytes.substr(0, end);
    size_t name = declaration.find("encoding");
    if (name == std::string::npos) return std::string();
    size_t equals = declaration.find_first_not_of(" \t\r\n", name + 8);
    if (equals == std::string::npos || declaration[equals] != '=') return std::string();
    size_t quote = declaration.find_first_not_of(" \t\r\n", equals + 1);
    if (quote == std::string::npos || (declaration[quote] != '"' && declaration[quote] != '\'')) return std::string();
    size_t close = declaration.find(declaration[quote], quote + 1);
    if (close == std::string::npos) return std::string();
    return declaration.substr(quote + 1, close - quote - 1);
}

std::string Hex(unsigned char byte) {
    char text[8];
    snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

}  // namespace

std::string DecodePolicy(const std::string& bytes, const std::string& source) {
    size_t skipped = 0;
    std::string encoding;
    for (const ByteOrderMark& mark : kMarks) {
        if (bytes.compare(0, mark.length, mark.bytes, mark.length) == 0) {
            skipped = mark.length;
            encoding = mark.encoding;
            break;
        }
    }
    bool declared = false;
    if (encoding.empty()) {
        encoding = DeclaredEncoding(bytes);
        declared = !encoding.empty();
        if (!declared) encoding = "UTF-8";
    }
    Converter converter(encoding);
    if (!converter.Valid()) throw HostError(source + " declares the encoding '" + encoding + "', which is not known");

    std::string text;
    std::vector<char> buffer(4096);
    char* in = const_cast<char*>(bytes.data()) + skipped;
    size_t inLeft = bytes.size() - skipped;
    while (inLeft > 0) {
        char* out = buffer.data();
        size_t outLeft = buffer.size();
        size_t converted = iconv(converter.handle, &in, &inLeft, &out, &outLeft);
        text.append(buffer.data(), out - buffer.data());
        if (converted != static_cast<size_t>(-1) || errno == E2BIG) continue;
        size_t offset = static_cast<size_t>(in - bytes.data());
        throw HostError(source + " is not valid " + encoding + ": the byte " +
                        Hex(static_cast<unsigned char>(bytes[offset])) + " at offset " + std::to_string(offset) +
                        (errno == EINVAL ? " starts a character the file cuts short" : " does not decode") +
                        (declared || skipped ? "" : " (declare the file's encoding)"));
    }
    return text;
}

}  // namespace morvhost
