// The binary forms of resources: little-endian words, UTF-16 text and the
// VS_VERSIONINFO tree with its lengths and 32-bit alignment.
#include "ResourceData.h"

namespace rcgen {

void AppendWord(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void AppendDword(std::string& out, uint32_t value) {
    AppendWord(out, static_cast<uint16_t>(value & 0xFFFF));
    AppendWord(out, static_cast<uint16_t>(value >> 16));
}

void AppendText(std::string& out, const std::u16string& text, bool terminate) {
    for (char16_t c : text) AppendWord(out, c);
    if (terminate) AppendWord(out, 0);
}

void PadTo4(std::string& out) {
    while (out.size() % 4) out.push_back('\0');
}

std::string VersionNode::Encode() const {
    std::string out;
    AppendWord(out, 0);  // length, set below
    uint16_t valueLength = 0;
    if (hasValue) valueLength = static_cast<uint16_t>(isText ? textValue.size() + 1 : binaryValue.size());
    AppendWord(out, valueLength);
    AppendWord(out, isText ? 1 : 0);
    AppendText(out, key, true);
    PadTo4(out);
    if (hasValue) {
        if (isText)
            AppendText(out, textValue, true);
        else
            out += binaryValue;
    }
    for (const VersionNode& child : children) {
        PadTo4(out);
        out += child.Encode();
    }
    uint16_t length = static_cast<uint16_t>(out.size());
    out[0] = static_cast<char>(length & 0xFF);
    out[1] = static_cast<char>(length >> 8);
    return out;
}

}  // namespace rcgen
