// Parses a document with libxml2 as MSXML loads it: external DTDs and entities never read, entity
// expansion and element depth bounded, DTD defaults marked, and a failure turned into parseError's
// code, reason, line and source text.
#include "msxml/Parser.h"

#include "msxml/Text.h"
#include "msxml/XmlTree.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <libxml/entities.h>
#include <libxml/hash.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>

namespace wincompat::msxml {
namespace {

// Set while this thread runs one of our parses: the entity loader then refuses
// everything. Other libxml2 users in the process keep the loader they had.
thread_local bool tParsingDomDocument = false;
// Text that entity references may add to a document: this much, or ten times
// the document's own size when that is more.
constexpr uint64_t kMaxEntityExpansion = 10 * 1024 * 1024;
uint64_t ExpansionLimit(size_t documentLength) {
    return std::max<uint64_t>(kMaxEntityExpansion, uint64_t{10} * documentLength);
}
xmlExternalEntityLoader gPreviousLoader = nullptr;

xmlParserInputPtr RefusingEntityLoader(const char* url, const char* id, xmlParserCtxtPtr ctxt) {
    if (tParsingDomDocument) return nullptr;  // external DTDs and entities are never read
    return gPreviousLoader ? gPreviousLoader(url, id, ctxt) : nullptr;
}

class ParsingScope {
public:
    ParsingScope() { tParsingDomDocument = true; }
    ~ParsingScope() { tParsingDomDocument = false; }
};

// Element depth that no document may exceed (libxml2's own default bound,
// applied by hand when a document is parsed without libxml2's size limits).
constexpr int kMaxElementDepth = 256;

// Per-parse state reachable from the SAX callbacks through ctxt->_private.
struct ParseState {
    bool prohibitDtd = false;
    bool dtdSeen = false;
    bool dtdRefused = false;
    bool tooDeep = false;
    bool countDepth = false;
    int depth = 0;
    // Counting expansion while parsing, for a parse without libxml2's own
    // amplification heuristics: what the references written in the document
    // expand to, against `expansionLimit`.
    bool countExpansion = false;
    bool expansionTooLarge = false;
    uint64_t expansionLimit = 0;
    uint64_t expanded = 0;
    std::unordered_map<xmlEntityPtr, uint64_t> entitySizes;
    internalSubsetSAXFunc defaultInternalSubset = nullptr;
    startElementNsSAX2Func defaultStartElement = nullptr;
    endElementNsSAX2Func defaultEndElement = nullptr;
    getEntitySAXFunc defaultGetEntity = nullptr;
};

ParseState* StateOf(void* userData) {
    return static_cast<ParseState*>(static_cast<xmlParserCtxtPtr>(userData)->_private);
}

void OnInternalSubset(void* userData, const xmlChar* name, const xmlChar* externalId, const xmlChar* systemId) {
    ParseState* state = StateOf(userData);
    state->dtdSeen = true;
    if (state->prohibitDtd) {
        state->dtdRefused = true;
        xmlStopParser(static_cast<xmlParserCtxtPtr>(userData));
        return;
    }
    state->defaultInternalSubset(userData, name, externalId, systemId);
}

// The external subset is never loaded, whatever the options say.
void OnExternalSubset(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

// Marks the attributes that the DTD's defaults supplied (the last
// `defaultedCount` of libxml2's list), so that they report themselves as not
// specified.
void MarkDefaultedAttributes(xmlNodePtr element, int attributeCount, int defaultedCount, const xmlChar** attributes) {
    if (!element || element->type != XML_ELEMENT_NODE) return;
    for (int i = attributeCount - defaultedCount; i < attributeCount; ++i) {
        const xmlChar* localname = attributes[i * 5];
        const xmlChar* uri = attributes[i * 5 + 2];
        for (xmlAttrPtr attribute = element->properties; attribute; attribute = attribute->next) {
            const xmlChar* href = attribute->ns ? attribute->ns->href : nullptr;
            if (xmlStrEqual(attribute->name, localname) && xmlStrEqual(href, uri)) {
                MarkDefaulted(attribute, true);
                break;
            }
        }
    }
}

void OnStartElement(void* userData, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                    int namespaceCount, const xmlChar** namespaces, int attributeCount, int defaultedCount,
                    const xmlChar** attributes) {
    ParseState* state = StateOf(userData);
    if (state->countDepth && ++state->depth > kMaxElementDepth) {
        state->tooDeep = true;
        xmlStopParser(static_cast<xmlParserCtxtPtr>(userData));
        return;
    }
    state->defaultStartElement(userData, localname, prefix, uri, namespaceCount, namespaces, attributeCount,
                               defaultedCount, attributes);
    if (defaultedCount > 0)
        MarkDefaultedAttributes(static_cast<xmlParserCtxtPtr>(userData)->node, attributeCount, defaultedCount,
                                attributes);
}

void OnEndElementCountingDepth(void* userData, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri) {
    ParseState* state = StateOf(userData);
    --state->depth;
    state->defaultEndElement(userData, localname, prefix, uri);
}

// The text an internal entity's replacement text reads as, references to other
// entities expanded, measured from the declarations alone (nothing is
// expanded); above `limit` for a loop or an entity nested too deeply.
uint64_t DeclaredExpansion(xmlDocPtr doc, xmlEntityPtr entity, uint64_t limit,
                           std::unordered_map<xmlEntityPtr, uint64_t>& sizes, int nesting) {
    if (entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) return 1;
    if (entity->etype != XML_INTERNAL_GENERAL_ENTITY || !entity->content) return 0;
    auto known = sizes.find(entity);
    if (known != sizes.end()) return known->second;
    if (nesting > 64) return limit + 1;
    sizes[entity] = limit + 1;  // a reference back to this entity while it is measured is a loop
    uint64_t total = 0;
    const xmlChar* text = entity->content;
    for (size_t i = 0; text[i] && total <= limit;) {
        if (text[i] == '&' && text[i + 1] != '#') {
            size_t end = i + 1;
            while (text[end] && text[end] != ';') ++end;
            if (!text[end]) break;
            std::string name(reinterpret_cast<const char*>(text) + i + 1, end - i - 1);
            const xmlChar* key = reinterpret_cast<const xmlChar*>(name.c_str());
            xmlEntityPtr inner = xmlGetPredefinedEntity(key);
            if (!inner && doc) inner = xmlGetDocEntity(doc, key);
            if (inner) total += DeclaredExpansion(doc, inner, limit, sizes, nesting + 1);
            i = end + 1;
        } else {
            ++total;
            ++i;
        }
    }
    sizes[entity] = total;
    return total;
}

// Counts each reference the document itself writes (in content, attribute
// values and attribute defaults; nested references are part of their
// entity's size) and stops the parse before the text would grow past the limit.
xmlEntityPtr OnGetEntity(void* userData, const xmlChar* name) {
    auto* ctxt = static_cast<xmlParserCtxtPtr>(userData);
    ParseState* state = StateOf(userData);
    xmlEntityPtr entity = state->defaultGetEntity(userData, name);
    if (!entity || !state->countExpansion || ctxt->depth != 0 || entity->etype != XML_INTERNAL_GENERAL_ENTITY)
        return entity;
    state->expanded += DeclaredExpansion(ctxt->myDoc, entity, state->expansionLimit, state->entitySizes, 0);
    if (state->expanded > state->expansionLimit) {
        state->expansionTooLarge = true;
        xmlStopParser(ctxt);
        return nullptr;
    }
    return entity;
}

// Counts the characters that reading the text of a document would produce,
// entity references expanded, without expanding anything. Entities stay
// references in the tree, so a document whose references multiply out to
// gigabytes parses small; it must not load.
class ExpansionCounter {
public:
    ExpansionCounter(xmlDocPtr doc, uint64_t limit) : doc_(doc), limit_(limit) {}

    // True when everything the nodes from `first` on expand to stays in the limit.
    bool WithinLimit(xmlNodePtr first) { return Measure(first, 0) <= limit_; }

private:
    uint64_t Add(uint64_t a, uint64_t b) const { return a + b > limit_ ? limit_ + 1 : a + b; }

    uint64_t EntitySize(xmlNodePtr reference, int nesting) {
        xmlEntityPtr entity = xmlGetDocEntity(doc_, reference->name);
        if (!entity || entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) return 0;
        auto known = sizes_.find(entity);
        if (known != sizes_.end()) return known->second;
        if (nesting <= 64) GiveChildren(entity);
        // libxml2 refuses entity loops and deep entity nesting while parsing;
        // this bound only keeps the count itself safe.
        uint64_t size = nesting > 64 ? limit_ + 1 : Measure(entity->children, nesting + 1);
        sizes_.emplace(entity, size);
        return size;
    }

    // Walks the sibling list from `first` and everything below it, iteratively.
    uint64_t Measure(xmlNodePtr first, int nesting) {
        uint64_t total = 0;
        if (!first) return 0;
        xmlNodePtr top = first->parent;
        for (xmlNodePtr node = first; node && total <= limit_;) {
            if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
                if (node->content) total = Add(total, xmlStrlen(node->content));
            } else if (node->type == XML_ENTITY_REF_NODE) {
                total = Add(total, EntitySize(node, nesting));
            } else if (node->type == XML_ELEMENT_NODE) {
                for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next)
                    total = Add(total, Measure(attribute->children, nesting));
                if (node->children) {
                    node = node->children;
                    continue;
                }
            }
            while (node && node->parent != top && !node->next) node = node->parent;
            node = node ? node->next : nullptr;
        }
        return total;
    }

    // libxml2 builds an entity's nodes where the content first refers to it;
    // an entity first met in an attribute value or an attribute default gets
    // none, and then reads as empty text wherever it is used. Such entities
    // hold text and references only ('<' is not allowed in attribute values),
    // which is what xmlStringGetNodeList makes of them.
    void GiveChildren(xmlEntityPtr entity) {
        if (entity->etype != XML_INTERNAL_GENERAL_ENTITY || entity->children || !entity->content ||
            !entity->content[0] || xmlStrchr(entity->content, '<'))
            return;
        xmlNodePtr list = xmlStringGetNodeList(doc_, entity->content);
        if (!list) return;
        entity->children = list;
        entity->owner = 1;  // freed with the entity
        for (xmlNodePtr node = list; node; node = node->next) {
            node->parent = reinterpret_cast<xmlNodePtr>(entity);
            if (!node->next) entity->last = node;
        }
    }

    xmlDocPtr doc_;
    uint64_t limit_;
    std::unordered_map<xmlEntityPtr, uint64_t> sizes_;
};

// The value of an attribute whose text refers to internal entities is that
// text with the references replaced (the XML rule for attribute values, which
// the DOM follows), as one text node: selection compares against it, and
// libxml2's XPath does not look through entity references. Runs after the
// expansion was counted and found within the bound.
void ExpandEntitiesInAttributeValues(xmlDocPtr doc) {
    xmlNodePtr top = xmlDocGetRootElement(doc);
    for (xmlNodePtr node = top; node;) {
        if (node->type == XML_ELEMENT_NODE) {
            for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
                bool refers = false;
                for (xmlNodePtr child = attribute->children; child && !refers; child = child->next)
                    refers = child->type == XML_ENTITY_REF_NODE;
                if (!refers) continue;
                xmlChar* value = xmlNodeListGetString(doc, attribute->children, 1);
                xmlNodePtr text = xmlNewDocText(doc, value ? value : reinterpret_cast<const xmlChar*>(""));
                xmlFree(value);
                if (!text) continue;  // out of memory: the references stay
                xmlFreeNodeList(attribute->children);
                text->parent = reinterpret_cast<xmlNodePtr>(attribute);
                attribute->children = attribute->last = text;
            }
            if (node->children) {
                node = node->children;
                continue;
            }
        }
        while (node && node != top && !node->next) node = node->parent;
        node = node && node != top ? node->next : nullptr;
    }
}

bool DeclaresEntities(xmlDocPtr doc) {
    return doc->intSubset && doc->intSubset->entities &&
           xmlHashSize(static_cast<xmlHashTablePtr>(doc->intSubset->entities)) > 0;
}

struct ParserCtxtDeleter {
    void operator()(xmlParserCtxtPtr ctxt) const { xmlFreeParserCtxt(ctxt); }
};

std::string TrimmedMessage(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// The source line `line` (1-based) and the byte offset of its start. A very
// long line is cut to a window around `column`, on character boundaries.
std::string SourceLine(const char* bytes, size_t length, int line, int column, size_t& lineStart) {
    constexpr size_t kWindow = 256;
    lineStart = 0;
    for (int current = 1; current < line && lineStart < length; ++lineStart)
        if (bytes[lineStart] == '\n') ++current;
    size_t end = lineStart;
    while (end < length && bytes[end] != '\n' && bytes[end] != '\r') ++end;
    size_t errorAt = std::min(end, lineStart + static_cast<size_t>(std::max(column, 1) - 1));
    size_t from = errorAt - std::min(errorAt - lineStart, kWindow);
    size_t to = std::min(end, errorAt + kWindow);
    auto continuation = [&](size_t i) { return (static_cast<unsigned char>(bytes[i]) & 0xC0) == 0x80; };
    while (from < errorAt && continuation(from)) ++from;
    while (to < end && continuation(to)) ++to;
    return std::string(bytes + from, to - from);
}

bool StartsWithDeclaration(const char* bytes, size_t length) {
    size_t start = (length >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
                    static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF)
                       ? 3
                       : 0;
    return length >= start + 6 && std::string(bytes + start, 5) == "<?xml" &&
           (bytes[start + 5] == ' ' || bytes[start + 5] == '\t' || bytes[start + 5] == '\r' ||
            bytes[start + 5] == '\n');
}

}  // namespace

void EnsureLibxmlInitialised() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        gPreviousLoader = xmlGetExternalEntityLoader();
        xmlSetExternalEntityLoader(RefusingEntityLoader);
    });
}

ParseErrorInfo MakeLoadError(LONG code, const std::u16string& reason, const std::u16string& url) {
    ParseErrorInfo error;
    error.errorCode = code;
    error.reason = reason;
    error.url = url;
    return error;
}

namespace {

// One run of the parser over the bytes, and what came of it.
struct Attempt {
    DocPtr doc;
    ParseState state;
    int errorCode = 0;
    std::string message;
    int line = 1;
    int column = 1;
    bool expansionTooLarge = false;
};

// How one run of the parser is bounded.
enum class Limits {
    // libxml2's own: text and name sizes, depth, entity amplification.
    Library,
    // XML_PARSE_HUGE for a document without a DTD (it has nothing to
    // expand): text nodes and names of any size, the element depth by hand.
    LargeText,
    // XML_PARSE_HUGE for a document whose entities libxml2's amplification
    // heuristics refused: the element depth by hand, and entity expansion
    // counted exactly, reference by reference, before it happens.
    CountedEntities,
};

Attempt RunParser(const char* bytes, size_t length, bool utf8Text, const ParseSettings& settings,
                  const std::string& url, Limits limits) {
    Attempt attempt;
    std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter> ctxt(xmlNewParserCtxt());
    if (!ctxt) {
        attempt.message = "Out of memory.";
        return attempt;
    }
    ParseState& state = attempt.state;
    state.prohibitDtd = settings.prohibitDtd || limits == Limits::LargeText;
    state.countDepth = limits != Limits::Library;
    state.countExpansion = limits == Limits::CountedEntities;
    state.expansionLimit = ExpansionLimit(length);
    state.defaultInternalSubset = ctxt->sax->internalSubset;
    ctxt->sax->internalSubset = OnInternalSubset;
    ctxt->sax->externalSubset = OnExternalSubset;
    state.defaultStartElement = ctxt->sax->startElementNs;
    state.defaultEndElement = ctxt->sax->endElementNs;
    ctxt->sax->startElementNs = OnStartElement;
    if (state.countDepth) ctxt->sax->endElementNs = OnEndElementCountingDepth;
    if (state.countExpansion) {
        state.defaultGetEntity = ctxt->sax->getEntity;
        ctxt->sax->getEntity = OnGetEntity;
    }
    ctxt->_private = &state;

    // No XML_PARSE_NOENT (entities stay references), no DTDLOAD, no network,
    // and no messages on stderr. The internal DTD's attribute defaults are
    // supplied (DTDATTR), as the DOM supplies them. libxml2's depth and
    // entity-amplification limits stay in force (no XML_PARSE_HUGE) unless
    // `limits` says otherwise.
    int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_DTDATTR;
    if (settings.validate) options |= XML_PARSE_DTDVALID;
    if (!settings.preserveWhiteSpace) options |= XML_PARSE_NOBLANKS;
    if (utf8Text) options |= XML_PARSE_IGNORE_ENC;
    if (limits != Limits::Library) options |= XML_PARSE_HUGE;

    xmlDocPtr doc = nullptr;
    {
        ParsingScope scope;
        doc = xmlCtxtReadMemory(ctxt.get(), bytes, static_cast<int>(length), url.empty() ? nullptr : url.c_str(),
                                utf8Text ? "UTF-8" : nullptr, options);
    }
    DocPtr parsed(doc);
    bool failed = !parsed || !ctxt->wellFormed || state.dtdRefused || state.tooDeep || state.expansionTooLarge;
    attempt.expansionTooLarge = state.expansionTooLarge;
    // A document without any DTD is not held against validation: validation
    // applies only to what the document declares.
    if (!failed && settings.validate && parsed->intSubset != nullptr && !ctxt->valid) failed = true;
    if (!failed && xmlDocGetRootElement(parsed.get()) == nullptr) failed = true;
    if (!failed && DeclaresEntities(parsed.get())) {
        if (!ExpansionCounter(parsed.get(), ExpansionLimit(length)).WithinLimit(parsed->children)) {
            attempt.expansionTooLarge = true;
            failed = true;
        } else {
            ExpandEntitiesInAttributeValues(parsed.get());
        }
    }
    if (!failed) {
        attempt.doc = std::move(parsed);
        return attempt;
    }
    if (const xmlError* error = xmlCtxtGetLastError(ctxt.get())) {
        attempt.errorCode = error->code;
        attempt.message = TrimmedMessage(error->message);
        if (error->line > 0) attempt.line = error->line;
        if (error->int2 > 0) attempt.column = error->int2;
    }
    return attempt;
}

}  // namespace

ParseOutcome ParseXml(const char* bytes, size_t length, bool utf8Text, const ParseSettings& settings,
                      const std::u16string& url) {
    EnsureLibxmlInitialised();
    ParseOutcome outcome;
    outcome.error.url = url;
    if (length == 0) {
        outcome.error = MakeLoadError(kErrorMissingRoot, u"XML document must have a top level element.", url);
        return outcome;
    }
    if (length > static_cast<size_t>(INT32_MAX)) {
        outcome.error = MakeLoadError(kErrorParse, u"The document is too large.", url);
        return outcome;
    }
    std::string urlUtf8;
    Utf16ToUtf8(url.data(), url.size(), urlUtf8);

    Attempt attempt = RunParser(bytes, length, utf8Text, settings, urlUtf8, Limits::Library);
    // libxml2 reports its size limits (a text node over 10 MB, for one) as an
    // internal error. MSXML takes such documents; without a DTD there is
    // nothing to expand, so they are parsed again without those limits.
    if (!attempt.doc && attempt.errorCode == XML_ERR_INTERNAL_ERROR && !attempt.state.dtdSeen)
        attempt = RunParser(bytes, length, utf8Text, settings, urlUtf8, Limits::LargeText);
    // libxml2's amplification heuristics weigh entity references against the
    // bytes read so far and refuse small documents whose entities nest a few
    // references deep, whatever they expand to; they report it as a loop. The
    // document is parsed again with the expansion counted exactly instead.
    if (!attempt.doc && attempt.errorCode == XML_ERR_ENTITY_LOOP && attempt.state.dtdSeen && !settings.prohibitDtd)
        attempt = RunParser(bytes, length, utf8Text, settings, urlUtf8, Limits::CountedEntities);

    if (attempt.doc) {
        outcome.hasDeclaration = attempt.doc->standalone != -1 || StartsWithDeclaration(bytes, length);
        outcome.doc = std::move(attempt.doc);
        return outcome;
    }

    std::string reason;
    if (attempt.state.dtdRefused && settings.prohibitDtd) {
        reason = "DTD is prohibited.";
    } else if (attempt.state.tooDeep) {
        reason = "Elements are nested deeper than " + std::to_string(kMaxElementDepth) + " levels.";
    } else if (attempt.expansionTooLarge) {
        reason = "Entity references expand to more text than a document may hold.";
    } else if (attempt.errorCode == XML_ERR_DOCUMENT_EMPTY) {
        outcome.error.errorCode = kErrorMissingRoot;
        reason = "XML document must have a top level element.";
    } else if (!attempt.message.empty()) {
        reason = attempt.message;
    } else {
        reason = "The document did not load.";
    }
    if (outcome.error.errorCode == 0) outcome.error.errorCode = kErrorParse;
    size_t lineStart = 0;
    std::string source = SourceLine(bytes, length, attempt.line, attempt.column, lineStart);
    outcome.error.reason = Utf8ToUtf16(reason);
    outcome.error.srcText = Utf8ToUtf16(source);
    outcome.error.line = attempt.line;
    outcome.error.linePosition = attempt.column;
    outcome.error.filePosition = static_cast<LONG>(lineStart) + attempt.column - 1;
    return outcome;
}

}  // namespace wincompat::msxml
