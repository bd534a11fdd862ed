#include "msxml/parser.h"

#include "msxml/text.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <mutex>

namespace wincompat::msxml {
namespace {

// Set while this thread runs one of our parses: the entity loader then refuses
// everything. Other libxml2 users in the process keep the loader they had.
thread_local bool tParsingDomDocument = false;
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

// Per-parse state reachable from the SAX callbacks through ctxt->_private.
struct ParseState {
    bool prohibitDtd = false;
    bool dtdRefused = false;
    internalSubsetSAXFunc defaultInternalSubset = nullptr;
};

void OnInternalSubset(void* userData, const xmlChar* name, const xmlChar* externalId, const xmlChar* systemId) {
    auto ctxt = static_cast<xmlParserCtxtPtr>(userData);
    auto* state = static_cast<ParseState*>(ctxt->_private);
    if (state->prohibitDtd) {
        state->dtdRefused = true;
        xmlStopParser(ctxt);
        return;
    }
    state->defaultInternalSubset(userData, name, externalId, systemId);
}

// The external subset is never loaded, whatever the options say.
void OnExternalSubset(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

struct ParserCtxtDeleter {
    void operator()(xmlParserCtxtPtr ctxt) const { xmlFreeParserCtxt(ctxt); }
};

std::string TrimmedMessage(const char* message) {
    std::string text = message ? message : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

// The source line `line` (1-based) and the byte offset of its start.
std::string SourceLine(const char* bytes, size_t length, int line, size_t& lineStart) {
    lineStart = 0;
    for (int current = 1; current < line && lineStart < length; ++lineStart)
        if (bytes[lineStart] == '\n') ++current;
    size_t end = lineStart;
    while (end < length && bytes[end] != '\n' && bytes[end] != '\r') ++end;
    return std::string(bytes + lineStart, end - lineStart);
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

    std::unique_ptr<xmlParserCtxt, ParserCtxtDeleter> ctxt(xmlNewParserCtxt());
    if (!ctxt) {
        outcome.error = MakeLoadError(E_OUTOFMEMORY, u"Out of memory.", url);
        return outcome;
    }
    ParseState state;
    state.prohibitDtd = settings.prohibitDtd;
    state.defaultInternalSubset = ctxt->sax->internalSubset;
    ctxt->sax->internalSubset = OnInternalSubset;
    ctxt->sax->externalSubset = OnExternalSubset;
    ctxt->_private = &state;

    // No XML_PARSE_NOENT (entities stay references), no DTDLOAD, no network,
    // no XML_PARSE_HUGE (libxml2's depth, size and entity-amplification limits
    // stay in force), and no messages on stderr.
    int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    if (settings.validate) options |= XML_PARSE_DTDVALID;
    if (!settings.preserveWhiteSpace) options |= XML_PARSE_NOBLANKS;
    if (utf8Text) options |= XML_PARSE_IGNORE_ENC;

    std::string urlUtf8;
    Utf16ToUtf8(url.data(), url.size(), urlUtf8);
    xmlDocPtr doc = nullptr;
    {
        ParsingScope scope;
        doc = xmlCtxtReadMemory(ctxt.get(), bytes, static_cast<int>(length), urlUtf8.empty() ? nullptr : urlUtf8.c_str(),
                                utf8Text ? "UTF-8" : nullptr, options);
    }
    DocPtr parsed(doc);

    bool failed = !parsed || !ctxt->wellFormed || state.dtdRefused;
    // A document without any DTD is not held against validation: validation
    // applies only to what the document declares.
    if (!failed && settings.validate && parsed->intSubset != nullptr && !ctxt->valid) failed = true;
    if (!failed && xmlDocGetRootElement(parsed.get()) == nullptr) failed = true;

    if (!failed) {
        outcome.hasDeclaration = parsed->standalone != -1 || StartsWithDeclaration(bytes, length);
        outcome.doc = std::move(parsed);
        return outcome;
    }

    const xmlError* error = xmlCtxtGetLastError(ctxt.get());
    int line = error && error->line > 0 ? error->line : 1;
    int column = error && error->int2 > 0 ? error->int2 : 1;
    std::string reason;
    if (state.dtdRefused) {
        reason = "DTD is prohibited.";
    } else if (error && error->code == XML_ERR_DOCUMENT_EMPTY) {
        outcome.error.errorCode = kErrorMissingRoot;
        reason = "XML document must have a top level element.";
    } else if (error && error->message) {
        reason = TrimmedMessage(error->message);
    } else {
        reason = "The document did not load.";
    }
    if (outcome.error.errorCode == 0) outcome.error.errorCode = kErrorParse;
    size_t lineStart = 0;
    std::string source = SourceLine(bytes, length, line, lineStart);
    outcome.error.reason = Utf8ToUtf16(reason.data(), reason.size());
    outcome.error.srcText = Utf8ToUtf16(source.data(), source.size());
    outcome.error.line = line;
    outcome.error.linePosition = column;
    outcome.error.filePosition = static_cast<LONG>(lineStart) + column - 1;
    return outcome;
}

}  // namespace wincompat::msxml
