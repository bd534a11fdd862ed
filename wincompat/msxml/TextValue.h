// The `text` property: a node's character data as MSXML hands it out.
#pragma once
#include <libxml/tree.h>

#include <string>

namespace wincompat::msxml {

// The text of `node` in UTF-8. Elements, documents and fragments give the
// character data of their descendants (comments and processing instructions
// left out). Unless `preserveWhiteSpace` is set or xml:space="preserve" is in
// scope, the white space of their text nodes is normalised: runs become one
// space, and each element's text loses the white space at its ends. CDATA
// sections always count as written. An attribute gives its value, trimmed
// unless preserved; text, CDATA, comments and instructions give their content.
std::string TextValue(xmlNodePtr node, bool preserveWhiteSpace);

}  // namespace wincompat::msxml
