// The MSXML DOM interfaces the event model reads documents through, with
// their IIDs and the document classes, declared once for the smart references.
#pragma once
#include <windows.h>
#include <msxml2.h>

#include "comsupport/ComRef.h"
#include "comsupport/InterfaceId.h"

namespace ZELKXML {

// MSXML's interface identities, spelt out here because not every SDK's
// import library carries them all (IXMLDOMDocument2 is missing from some).
inline constexpr IID kIID_IXMLDOMNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID kIID_IXMLDOMDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID kIID_IXMLDOMNodeList = {
    0x2933BF82, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID kIID_IXMLDOMNamedNodeMap = {
    0x2933BF83, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID kIID_IXMLDOMElement = {
    0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID kIID_IXMLDOMDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
inline constexpr IID kIID_IXMLDOMParseError = {
    0x3EFAA426, 0x272F, 0x11D2, {0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82}};

// The free-threaded DOM document class: payload documents are built with it.
inline constexpr CLSID kCLSID_FreeThreadedDOMDocument = {
    0xF6D90F12, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
// The standard (apartment) DOM document class: file documents are built with it.
inline constexpr CLSID kCLSID_DOMDocument = {
    0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};

// Any server context, as CoCreateInstance's CLSCTX_SERVER names it.
inline constexpr DWORD kAnyServerContext = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;

}  // namespace ZELKXML

COMSUPPORT_INTERFACE_ID(IXMLDOMNode, ZELKXML::kIID_IXMLDOMNode)
COMSUPPORT_INTERFACE_ID(IXMLDOMDocument, ZELKXML::kIID_IXMLDOMDocument)
COMSUPPORT_INTERFACE_ID(IXMLDOMNodeList, ZELKXML::kIID_IXMLDOMNodeList)
COMSUPPORT_INTERFACE_ID(IXMLDOMNamedNodeMap, ZELKXML::kIID_IXMLDOMNamedNodeMap)
COMSUPPORT_INTERFACE_ID(IXMLDOMElement, ZELKXML::kIID_IXMLDOMElement)
COMSUPPORT_INTERFACE_ID(IXMLDOMDocument2, ZELKXML::kIID_IXMLDOMDocument2)
COMSUPPORT_INTERFACE_ID(IXMLDOMParseError, ZELKXML::kIID_IXMLDOMParseError)
