// nodeTypedValue: a node's content as the VARIANT its MSXML data type gives.
#pragma once
#include <windows.h>

#include <libxml/tree.h>

#include <string>

namespace wincompat::msxml {

// Namespace of the "dt" attribute that types an element's content.
extern const char kDataTypesNamespace[];

// The element's declared data type name ("" when it has none).
std::string DeclaredDataType(xmlNodePtr node);

// Fills `out` (assumed empty) with the typed value of `node`. False with
// `error` set when the text does not parse as the declared type or the type
// is unknown.
bool ReadTypedValue(xmlNodePtr node, VARIANT* out, std::u16string& error);

// Converts `text` as the data type `type` does; exposed for the tests of the
// conversions themselves.
bool ConvertTypedText(const std::string& type, const std::string& text, VARIANT* out, std::u16string& error);

}  // namespace wincompat::msxml
