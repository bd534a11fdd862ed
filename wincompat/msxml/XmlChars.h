// libxml2's strings, owned until they go out of scope, and XML's white space:
// what the DOM's files share for reading character data.
#pragma once
#include <libxml/xmlmemory.h>

#include <memory>
#include <string>
#include <string_view>

namespace wincompat::msxml {

struct XmlCharDeleter {
    void operator()(xmlChar* p) const { xmlFree(p); }
};
using XmlString = std::unique_ptr<xmlChar, XmlCharDeleter>;

// Space, tab, carriage return and line feed: the white space of XML.
inline bool IsXmlWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// `text` without the white space at its ends.
inline std::string TrimmedXmlWhiteSpace(std::string_view text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsXmlWhiteSpace(text[begin])) ++begin;
    while (end > begin && IsXmlWhiteSpace(text[end - 1])) --end;
    return std::string(text.substr(begin, end - begin));
}

}  // namespace wincompat::msxml
