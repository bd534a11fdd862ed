// Reads a policy's Detection settings through the DOM, as Quillet does, to tell which lists the
// plug-in should have added to it.
#include "PolicyRequest.h"

#include <windows.h>
#include <msxml2.h>

#include "comsupport/Bstr.h"
#include "comsupport/ComError.h"
#include "comsupport/ComRef.h"

COMSUPPORT_INTERFACE_ID(IXMLDOMDocument2, IID_IXMLDOMDocument2)
COMSUPPORT_INTERFACE_ID(IXMLDOMElement, IID_IXMLDOMElement)
COMSUPPORT_INTERFACE_ID(IXMLDOMNode, IID_IXMLDOMNode)

namespace morvhost {
namespace {

using comsupport::Bstr;
using comsupport::ComRef;

ComRef<IXMLDOMNode> Child(IXMLDOMNode* parent, const OLECHAR* expression) {
    ComRef<IXMLDOMNode> node;
    if (parent)
        ComRef<IXMLDOMNode>(parent).Call(&IXMLDOMNode::selectSingleNode, Bstr(expression).Get(), node.Receive());
    return node;
}

bool HasText(const ComRef<IXMLDOMNode>& node, const OLECHAR* expected) {
    if (!node) return false;
    Bstr text;
    node.Call(&IXMLDOMNode::get_text, text.Receive());
    return text.Str() == expected;
}

}  // namespace

ListRequest RequestedLists(const std::string& policyUtf8) {
    // The same document settings as the plug-in's.
    auto document = ComRef<IXMLDOMDocument2>::Create(CLSID_DOMDocument40);
    document.Call(&IXMLDOMDocument2::put_async, static_cast<VARIANT_BOOL>(VARIANT_FALSE));
    document.Call(&IXMLDOMDocument2::put_validateOnParse, static_cast<VARIANT_BOOL>(VARIANT_TRUE));
    VARIANT_BOOL loaded = VARIANT_FALSE;
    document.Call(&IXMLDOMDocument2::loadXML, Bstr::FromUtf8(policyUtf8).Get(), &loaded);
    ListRequest request;
    if (loaded != VARIANT_TRUE) return request;
    ComRef<IXMLDOMElement> root;
    document.Call(&IXMLDOMDocument2::get_documentElement, root.Receive());
    ComRef<IXMLDOMNode> detection = Child(root.Get(), OLESTR("Section[@name=\"Detection\"]"));
    request.scanBlacklist =
        HasText(Child(detection.Get(), OLESTR("Setting[@name=\"SubnetScanEnabled\"]")), OLESTR("1")) &&
        HasText(Child(detection.Get(), OLESTR("Setting[@name=\"OSFingerprintingEnabled\"]")), OLESTR("1"));
    request.exceptions =
        request.scanBlacklist &&
        HasText(Child(detection.Get(), OLESTR("Setting[@name=\"ScanSystemsMarkedAsException\"]")), OLESTR("0"));
    return request;
}

}  // namespace morvhost
