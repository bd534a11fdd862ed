// The resources a script describes and their binary forms: little-endian
// words, UTF-16 text and the VS_VERSIONINFO tree.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace rcgen {

struct Resource {
    bool typeIsId = false;
    uint16_t typeId = 0;
    std::string typeName;
    bool nameIsId = false;
    uint16_t nameId = 0;
    std::string nameName;
    uint16_t language = 0;
    std::string data;
};

void AppendWord(std::string& out, uint16_t value);
void AppendDword(std::string& out, uint32_t value);
void AppendText(std::string& out, const std::u16string& text, bool terminate);
void PadTo4(std::string& out);

// One node of a VS_VERSIONINFO tree.
struct VersionNode {
    std::u16string key;
    bool isText = true;  // value type 1 (text) or 0 (binary)
    std::u16string textValue;
    std::string binaryValue;
    bool hasValue = false;
    std::vector<VersionNode> children;

    std::string Encode() const;
};

}  // namespace rcgen
