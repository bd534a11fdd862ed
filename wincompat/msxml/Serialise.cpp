// Writes a node or a whole document as the `xml` property gives it: libxml2's UTF-8 output as
// UTF-16, the document's own declaration line, every line break as CR LF.
#include "msxml/Serialise.h"

#include "msxml/Text.h"

#include <libxml/xmlsave.h>

#include <memory>

namespace wincompat::msxml {
namespace {

struct BufferDeleter {
    void operator()(xmlBufferPtr buffer) const { xmlBufferFree(buffer); }
};

// libxml2 writes the node as UTF-8; with that encoding named, characters
// outside ASCII stay characters instead of becoming character references.
bool AppendNode(xmlNodePtr node, std::string& out) {
    std::unique_ptr<xmlBuffer, BufferDeleter> buffer(xmlBufferCreate());
    if (!buffer) return false;
    xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_NO_DECL | XML_SAVE_AS_XML);
    if (!save) return false;
    xmlSaveTree(save, node);
    if (xmlSaveClose(save) < 0) return false;
    const char* content = reinterpret_cast<const char*>(xmlBufferContent(buffer.get()));
    int length = xmlBufferLength(buffer.get());
    if (node->type == XML_ATTRIBUTE_NODE && length > 0 && content[0] == ' ') ++content, --length;
    out.append(content, static_cast<size_t>(length));
    return true;
}

void AppendDeclaration(xmlDocPtr doc, std::string& out) {
    out += "<?xml version=\"";
    out += doc->version ? reinterpret_cast<const char*>(doc->version) : "1.0";
    out += "\"";
    if (doc->standalone == 1) out += " standalone=\"yes\"";
    if (doc->standalone == 0) out += " standalone=\"no\"";
    out += "?>\r\n";
}

// The DOM writes every line break as CR LF. libxml2 writes the line feeds of
// text, comments, processing instructions, CDATA and the DTD as they are (a
// carriage return in text or a line break in an attribute value becomes a
// character reference, which stays as it is).
std::string WithCrLf(const std::string& text) {
    size_t feeds = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) ++feeds;
    if (feeds == 0) return text;
    std::string out;
    out.reserve(text.size() + feeds);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
        out += text[i];
    }
    return out;
}

}  // namespace

bool SerialiseNode(const XmlTree& tree, xmlNodePtr node, std::u16string& xml) {
    std::string utf8;
    if (node->type == XML_DOCUMENT_NODE) {
        auto doc = reinterpret_cast<xmlDocPtr>(node);
        if (tree.hasDeclaration() && xmlDocGetRootElement(doc)) AppendDeclaration(doc, utf8);
        for (xmlNodePtr child = node->children; child; child = child->next) {
            if (!AppendNode(child, utf8)) return false;
            utf8 += "\r\n";
        }
    } else if (!AppendNode(node, utf8)) {
        return false;
    }
    utf8 = WithCrLf(utf8);
    xml = Utf8ToUtf16(utf8);
    return true;
}

}  // namespace wincompat::msxml
