// Parsing documents with libxml2 under MSXML's rules and safety limits.
#pragma once
#include <windows.h>

#include <libxml/tree.h>

#include <memory>
#include <string>

namespace wincompat::msxml {

// Parse error codes as MSXML reports them in parseError.errorCode.
constexpr LONG kErrorMissingRoot = static_cast<LONG>(0xC00CE558);       // empty input
constexpr LONG kErrorResourceNotFound = static_cast<LONG>(0x800C0005);  // no such file
constexpr LONG kErrorAccessDenied = static_cast<LONG>(0x80070005);      // a source that is never read
constexpr LONG kErrorParse = static_cast<LONG>(0x80004005);             // any other parse or validity error

struct ParseSettings {
    bool validate = true;             // validate against a DTD that the document declares
    bool prohibitDtd = false;         // refuse any document with a DTD
    bool preserveWhiteSpace = false;  // keep white-space-only text between elements
};

// What parseError reports; errorCode 0 means the last load succeeded.
struct ParseErrorInfo {
    LONG errorCode = 0;
    std::u16string reason;
    std::u16string srcText;
    std::u16string url;
    LONG line = 0;
    LONG linePosition = 0;
    LONG filePosition = 0;
};

struct XmlDocDeleter {
    void operator()(xmlDocPtr doc) const { xmlFreeDoc(doc); }
};
using DocPtr = std::unique_ptr<xmlDoc, XmlDocDeleter>;

struct ParseOutcome {
    DocPtr doc;  // null when the input did not load
    bool hasDeclaration = false;
    ParseErrorInfo error;
};

// Initialises libxml2 once per process (safe from any thread).
void EnsureLibxmlInitialised();

// Parses `length` bytes. `utf8Text`: the bytes are UTF-8 converted from a
// string, so an encoding declaration inside them is ignored. Nothing outside
// the bytes is ever read: no external DTD, no external entity, no network.
ParseOutcome ParseXml(const char* bytes, size_t length, bool utf8Text, const ParseSettings& settings,
                      const std::u16string& url);

// A failure that happened before parsing (unreadable source and the like).
ParseErrorInfo MakeLoadError(LONG code, const std::u16string& reason, const std::u16string& url);

}  // namespace wincompat::msxml
