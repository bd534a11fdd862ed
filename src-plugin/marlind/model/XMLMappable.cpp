// The mapping framework's DOM lookups: first child and child lists by name, typed child and
// attribute values (NULL when missing), and the event documents' parse settings and namespace
// binding.
#include "model/XMLMappable.h"

#include <utility>

#include "comsupport/ComError.h"

namespace ZELKXML {

namespace {

// Calls a method of a node the caller holds, with no reference of its own
// around the call; a failure raises comsupport::ComError as ComRef::Call does.
template <typename Method, typename... Args>
void CallOn(IXMLDOMNode* node, Method method, Args&&... args) {
    if (!node) comsupport::ThrowComError(E_POINTER);
    const HRESULT hr = (node->*method)(std::forward<Args>(args)...);
    if (FAILED(hr)) comsupport::ThrowComError(hr, node, &comsupport::InterfaceId<IXMLDOMNode>::Get());
}

NodeRef SelectFirstChildBy(IXMLDOMNode* node, BSTR query) {
    NodeRef child;
    CallOn(node, &IXMLDOMNode::selectSingleNode, query, child.Receive());
    return child;
}

// `destination` is NULL already.
void ReadChildValueBy(IXMLDOMNode* node, BSTR query, comsupport::Variant& destination) {
    NodeRef child = SelectFirstChildBy(node, query);
    if (!child) return;
    comsupport::Variant typed;
    child.Call(&IXMLDOMNode::get_nodeTypedValue, typed.Receive());
    destination = std::move(typed);
}

}  // namespace

QueryText::~QueryText() { SysFreeString(bstr_.load(std::memory_order_acquire)); }

BSTR QueryText::Get() const {
    if (BSTR made = bstr_.load(std::memory_order_acquire)) return made;
    comsupport::Bstr text(text_);
    BSTR expected = nullptr;
    if (bstr_.compare_exchange_strong(expected, text.Get(), std::memory_order_acq_rel)) return text.Detach();
    return expected;  // another thread made it first; this copy is freed
}

void XMLValidElement::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    comsupport::Variant typed;
    CallOn(node, &IXMLDOMNode::get_nodeTypedValue, typed.Receive());
    store(typed.Get(), value);
}

void XMLValidElement::store(const VARIANT& source, comsupport::Variant& destination) {
    destination = comsupport::Variant(source);
}

NodeRef SelectFirstChild(IXMLDOMNode* node, const OLECHAR* name) {
    comsupport::Bstr query(name);
    return SelectFirstChildBy(node, query.Get());
}

NodeRef SelectFirstChild(IXMLDOMNode* node, const QueryText& name) { return SelectFirstChildBy(node, name.Get()); }

comsupport::ComRef<IXMLDOMNodeList> SelectChildren(IXMLDOMNode* node, const OLECHAR* name) {
    comsupport::Bstr query(name);
    comsupport::ComRef<IXMLDOMNodeList> list;
    CallOn(node, &IXMLDOMNode::selectNodes, query.Get(), list.Receive());
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
    comsupport::Bstr query(name);
    ReadChildValueBy(node, query.Get(), destination);
}

void ReadChildValue(IXMLDOMNode* node, const QueryText& name, comsupport::Variant& destination) {
    destination = comsupport::Variant::Null();
    ReadChildValueBy(node, name.Get(), destination);
}

void ReadAttributeValue(IXMLDOMNode* node, const OLECHAR* name, comsupport::Variant& destination) {
    destination = comsupport::Variant::Null();
    comsupport::ComRef<IXMLDOMNamedNodeMap> attributes;
    CallOn(node, &IXMLDOMNode::get_attributes, attributes.Receive());
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
