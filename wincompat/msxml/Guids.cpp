// Identifiers of the MSXML DOM interfaces, type library and document classes.
#include <msxml2.h>

#define MSXML_DOM_IID(name, last) \
    const IID name = {0x2933BF00 | (last), 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}}
#define MSXML_XTL_IID(name, first) \
    const IID name = {(first), 0x272F, 0x11D2, {0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82}}

extern "C" {
const IID LIBID_MSXML2 = {0xF5078F18, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
MSXML_DOM_IID(IID_IXMLDOMNode, 0x80);
MSXML_DOM_IID(IID_IXMLDOMDocument, 0x81);
MSXML_DOM_IID(IID_IXMLDOMNodeList, 0x82);
MSXML_DOM_IID(IID_IXMLDOMNamedNodeMap, 0x83);
MSXML_DOM_IID(IID_IXMLDOMCharacterData, 0x84);
MSXML_DOM_IID(IID_IXMLDOMAttribute, 0x85);
MSXML_DOM_IID(IID_IXMLDOMElement, 0x86);
MSXML_DOM_IID(IID_IXMLDOMText, 0x87);
MSXML_DOM_IID(IID_IXMLDOMComment, 0x88);
MSXML_DOM_IID(IID_IXMLDOMProcessingInstruction, 0x89);
MSXML_DOM_IID(IID_IXMLDOMCDATASection, 0x8A);
MSXML_DOM_IID(IID_IXMLDOMDocumentType, 0x8B);
MSXML_DOM_IID(IID_IXMLDOMNotation, 0x8C);
MSXML_DOM_IID(IID_IXMLDOMEntity, 0x8D);
MSXML_DOM_IID(IID_IXMLDOMEntityReference, 0x8E);
MSXML_DOM_IID(IID_IXMLDOMImplementation, 0x8F);
MSXML_DOM_IID(IID_IXMLDOMDocument2, 0x95);
MSXML_XTL_IID(IID_IXMLDOMDocumentFragment, 0x3EFAA413);
MSXML_XTL_IID(IID_IXMLDOMParseError, 0x3EFAA426);

const CLSID CLSID_DOMDocument = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
const CLSID CLSID_FreeThreadedDOMDocument = {
    0xF6D90F12, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
const CLSID CLSID_DOMDocument40 = {0x88D969C0, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
}
