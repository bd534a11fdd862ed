// The `xml` property: a node or a whole document as MSXML writes it.
#pragma once
#include "msxml/XmlTree.h"

#include <string>

namespace wincompat::msxml {

// Double-quoted attributes, `<name/>` for an element without content,
// characters escaped where XML needs it. A document gets its XML declaration
// back (without an encoding, the text being UTF-16) when it had one, and each
// top-level node ends with CR LF, and every line break is written as CR LF.
// False when memory runs out.
bool SerialiseNode(const XmlTree& tree, xmlNodePtr node, std::u16string& xml);

}  // namespace wincompat::msxml
