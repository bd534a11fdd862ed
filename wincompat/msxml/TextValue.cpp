// The `text` property: a node's character data with white space normalised unless xml:space or
// preserveWhiteSpace keeps it, CDATA verbatim, entity references read in place.
#include "msxml/TextValue.h"

#include <libxml/entities.h>

#include "msxml/XmlChars.h"

namespace wincompat::msxml {

namespace {

const xmlChar* Chars(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

bool AttributeValueIs(xmlAttrPtr attribute, const char* value) {
    xmlNodePtr text = attribute->children;
    return text && !text->next && text->type == XML_TEXT_NODE && xmlStrEqual(text->content, Chars(value));
}

// The xml:space that `element` itself declares: 1 "preserve", 0 "default",
// -1 none (or a value that means neither).
int DeclaredSpace(xmlNodePtr element) {
    for (xmlAttrPtr attribute = element->properties; attribute; attribute = attribute->next) {
        if (!attribute->ns || !xmlStrEqual(attribute->name, Chars("space")) ||
            !xmlStrEqual(attribute->ns->href, XML_XML_NAMESPACE))
            continue;
        if (AttributeValueIs(attribute, "preserve")) return 1;
        if (AttributeValueIs(attribute, "default")) return 0;
        return -1;
    }
    return -1;
}

// Whether the nearest xml:space from `node` up says "preserve".
bool PreservedByScope(xmlNodePtr node) {
    for (; node; node = node->parent) {
        if (node->type != XML_ELEMENT_NODE) continue;
        int space = DeclaredSpace(node);
        if (space >= 0) return space == 1;
    }
    return false;
}

// Collects the text of one element's content. Normalised, the white space of
// text nodes only marks a gap: a gap becomes one space where it separates
// content of this element and nothing at either end. Verbatim pieces (CDATA,
// preserved text, the text of child elements) go in as they are.
class ContentText {
public:
    ContentText(std::string& out, bool preserve) : out_(out), start_(out.size()), preserve_(preserve) {}

    bool preserve() const { return preserve_; }

    void AddText(const xmlChar* text) {
        if (!text) return;
        if (preserve_) {
            out_.append(reinterpret_cast<const char*>(text));
            return;
        }
        for (const xmlChar* p = text; *p;) {
            if (IsXmlWhiteSpace(*p)) {
                gap_ = true;
                ++p;
                continue;
            }
            const xmlChar* word = p;
            while (*p && !IsXmlWhiteSpace(*p)) ++p;
            Separate();
            out_.append(reinterpret_cast<const char*>(word), static_cast<size_t>(p - word));
        }
    }

    void AddVerbatim(const xmlChar* text) {
        if (!text || !*text) return;
        Separate();
        out_.append(reinterpret_cast<const char*>(text));
    }

    // Appends what `append` writes to the same string; a gap before it counts
    // only when it writes something.
    template <class Append>
    void AddPiece(Append&& append) {
        const bool separated = gap_ && out_.size() > start_;
        if (separated) out_ += ' ';
        const size_t before = out_.size();
        append();
        if (out_.size() == before) {
            if (separated) out_.pop_back();
        } else {
            gap_ = false;
        }
    }

private:
    void Separate() {
        if (gap_ && out_.size() > start_) out_ += ' ';
        gap_ = false;
    }

    std::string& out_;
    const size_t start_;
    const bool preserve_;
    bool gap_ = false;
};

void AppendElementText(xmlNodePtr element, bool preserve, bool preserveWhiteSpace, std::string& out);

void AppendNodes(xmlNodePtr first, xmlDocPtr doc, bool preserveWhiteSpace, ContentText& content, std::string& out,
                 int nesting);

// One node into `content`; an entity reference stands for the entity's nodes,
// read as if they were written in its place.
void AppendNode(xmlNodePtr node, xmlDocPtr doc, bool preserveWhiteSpace, ContentText& content, std::string& out,
                int nesting) {
    switch (node->type) {
        case XML_TEXT_NODE: content.AddText(node->content); break;
        case XML_CDATA_SECTION_NODE: content.AddVerbatim(node->content); break;
        case XML_ELEMENT_NODE: {
            bool preserve = content.preserve();
            if (!preserveWhiteSpace && node->properties) {
                int space = DeclaredSpace(node);
                if (space >= 0) preserve = space == 1;
            }
            content.AddPiece([&] { AppendElementText(node, preserve, preserveWhiteSpace, out); });
            break;
        }
        case XML_ENTITY_REF_NODE: {
            xmlEntityPtr entity = doc ? xmlGetDocEntity(doc, node->name) : nullptr;
            if (!entity || nesting > 64) break;  // the parser refuses deeper nesting
            if (entity->children)
                AppendNodes(entity->children, doc, preserveWhiteSpace, content, out, nesting + 1);
            else
                content.AddText(entity->content);
            break;
        }
        default: break;  // comments, processing instructions and declarations hold no text
    }
}

void AppendNodes(xmlNodePtr first, xmlDocPtr doc, bool preserveWhiteSpace, ContentText& content, std::string& out,
                 int nesting) {
    for (xmlNodePtr node = first; node; node = node->next)
        AppendNode(node, doc, preserveWhiteSpace, content, out, nesting);
}

void AppendElementText(xmlNodePtr element, bool preserve, bool preserveWhiteSpace, std::string& out) {
    ContentText content(out, preserve);
    AppendNodes(element->children, element->doc, preserveWhiteSpace, content, out, 0);
}

std::string ContentOf(xmlNodePtr node) {
    XmlString content(xmlNodeGetContent(node));
    return content ? std::string(reinterpret_cast<const char*>(content.get())) : std::string();
}

}  // namespace

std::string TextValue(xmlNodePtr node, bool preserveWhiteSpace) {
    switch (node->type) {
        case XML_ELEMENT_NODE:
        case XML_DOCUMENT_NODE:
        case XML_HTML_DOCUMENT_NODE:
        case XML_DOCUMENT_FRAG_NODE:
        case XML_ENTITY_REF_NODE: {
            std::string text;
            const bool preserve = preserveWhiteSpace || PreservedByScope(node);
            if (node->type == XML_ENTITY_REF_NODE) {
                ContentText content(text, preserve);
                AppendNode(node, node->doc, preserveWhiteSpace, content, text, 0);
            } else {
                AppendElementText(node, preserve, preserveWhiteSpace, text);
            }
            return text;
        }
        case XML_ATTRIBUTE_NODE: {
            std::string value = ContentOf(node);
            if (preserveWhiteSpace || PreservedByScope(node->parent)) return value;
            return TrimmedXmlWhiteSpace(value);
        }
        default: return ContentOf(node);
    }
}

}  // namespace wincompat::msxml
