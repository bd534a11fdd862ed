#include "model/XMLMappable.h"

namespace ZELKXML {

void XMLValidElement::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    comsupport::Variant typed;
    NodeRef(node).Call(&IXMLDOMNode::get_nodeTypedValue, typed.Receive());
    store(typed.Get(), value);
}

void XMLValidElement::store(const VARIANT& source, comsupport::Variant& destination) {
    destination = comsupport::Variant(source);
}

NodeRef SelectFirstChild(IXMLDOMNode* node, const OLECHAR* name) {
    NodeRef parent(node);
    comsupport::Bstr query(name);
    NodeRef child;
    parent.Call(&IXMLDOMNode::selectSingleNode, query.Get(), child.Receive());
    return child;
}

comsupport::ComRef<IXMLDOMNodeList> SelectChildren(IXMLDOMNode* node, const OLECHAR* name) {
    NodeRef parent(node);
    comsupport::Bstr query(name);
    comsupport::ComRef<IXMLDOMNodeList> list;
    parent.Call(&IXMLDOMNode::selectNodes, query.Get(), list.Receive());
    return list;
}

LONG NodeCount(const comsupport::ComRef<IXMLDOMNodeList>& list) {
    LONG count = 0;
    list.Call(&IXMLDOMNodeList::get_length, &count);
    return count;
}

NodeRef NodeAt(const comsupport::ComRef<IXMLDOMNodeList>& list, LONG index) {
    NodeRef item;
    list.Call(&IXMLDOMNodeList::get_item, index, item.Receive());
    return item;
}

void ReadChildValue(IXMLDOMNode* node, const OLECHAR* name, comsupport::Variant& destination) {
    destination = comsupport::Variant::Null();
    NodeRef child = SelectFirstChild(node, name);
    if (!child) return;
    comsupport::Variant typed;
    child.Call(&IXMLDOMNode::get_nodeTypedValue, typed.Receive());
    destination = std::move(typed);
}

void ReadAttributeValue(IXMLDOMNode* node, const OLECHAR* name, comsupport::Variant& destination) {
    destination = comsupport::Variant::Null();
    comsupport::ComRef<IXMLDOMNamedNodeMap> attributes;
    NodeRef(node).Call(&IXMLDOMNode::get_attributes, attributes.Receive());
    if (!attributes) return;
    comsupport::Bstr attributeName(name);
    NodeRef attribute;
    attributes.Call(&IXMLDOMNamedNodeMap::getNamedItem, attributeName.Get(), attribute.Receive());
    if (!attribute) return;
    comsupport::Variant typed;
    attribute.Call(&IXMLDOMNode::get_nodeTypedValue, typed.Receive());
    destination = std::move(typed);
}

void ReadAttributeLong(IXMLDOMNode* node, const OLECHAR* name, LONG& destination) {
    destination = 0;
    comsupport::Variant attribute;
    ReadAttributeValue(node, name, attribute);
    if (attribute.IsEmpty() || attribute.IsNull()) return;
    if (attribute.Type() == VT_I4) {
        destination = attribute.Get().lVal;
        return;
    }
    destination = attribute.ConvertedTo(VT_I4).Get().lVal;
}

DocumentRef CreateEventDocument(REFCLSID documentClass) {
    return DocumentRef::Create(documentClass, kAnyServerContext);
}

void ApplyParsingSettings(const DocumentRef& document) {
    document.Call(&IXMLDOMDocument2::put_async, VARIANT_FALSE);
    document.Call(&IXMLDOMDocument2::put_validateOnParse, VARIANT_TRUE);
}

void BindEventNamespace(const DocumentRef& document) {
    comsupport::Bstr property(OLESTR("SelectionNamespaces"));
    comsupport::Variant binding =
        comsupport::Variant::FromText(comsupport::OleString(OLESTR("xmlns:zelk='")) + kEventNamespaceURI + OLESTR("'"));
    document.Call(&IXMLDOMDocument2::setProperty, property.Get(), binding.Get());
}

}  // namespace ZELKXML
