// Elements and attributes.
#include "msxml/DomObjects.h"
#include "msxml/Text.h"
#include "msxml/XmlChars.h"

#include <libxml/tree.h>

#include <memory>

namespace wincompat::msxml {
namespace {

// The attribute whose qualified name is exactly `name`, or null.
xmlAttrPtr FindAttribute(xmlNodePtr element, BSTR name) {
    std::u16string chars = BstrText(name);
    std::string wanted;
    if (!Utf16ToUtf8(chars.data(), chars.size(), wanted)) return nullptr;
    for (xmlAttrPtr attribute = element->properties; attribute; attribute = attribute->next)
        if (QualifiedName(reinterpret_cast<xmlNodePtr>(attribute)) == wanted) return attribute;
    return nullptr;
}

HRESULT ValueVariant(xmlAttrPtr attribute, VARIANT* value) {
    XmlString content(xmlNodeGetContent(reinterpret_cast<xmlNodePtr>(attribute)));
    value->bstrVal = AllocBstrFromUtf8(content.get());
    if (!value->bstrVal) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    return S_OK;
}

void CollectByTagName(xmlNodePtr node, const std::string& name, std::vector<xmlNodePtr>& found) {
    // Iterative pre-order walk: document order, no recursion depth limit.
    xmlNodePtr current = node->children;
    while (current) {
        if (current->type == XML_ELEMENT_NODE && (name == "*" || QualifiedName(current) == name))
            found.push_back(current);
        if (current->type == XML_ELEMENT_NODE && current->children) {
            current = current->children;
            continue;
        }
        while (current && current != node && !current->next) current = current->parent;
        if (!current || current == node) break;
        current = current->next;
    }
}

}  // namespace

HRESULT ElementsByTagName(DomDocument* owner, const NodeHandle& root, BSTR tagName, IXMLDOMNodeList** resultList) {
    if (!resultList) return E_POINTER;
    *resultList = nullptr;
    std::u16string chars = BstrText(tagName);
    std::string name;
    if (!Utf16ToUtf8(chars.data(), chars.size(), name)) return E_INVALIDARG;
    std::vector<xmlNodePtr> found;
    CollectByTagName(root.node, name, found);
    auto* list = new (std::nothrow) NodeListObject(owner, root.tree, std::move(found));
    if (!list) return E_OUTOFMEMORY;
    return HandOut(list, IID_IXMLDOMNodeList, reinterpret_cast<void**>(resultList));
}

// ---- ElementObject ----

void* ElementObject::ExtraInterface(REFIID riid) {
    return IsEqualIID(riid, IID_IXMLDOMElement) ? static_cast<IXMLDOMElement*>(this) : nullptr;
}

HRESULT ElementObject::get_tagName(BSTR* tagName) { return get_nodeName(tagName); }

HRESULT ElementObject::getAttribute(BSTR name, VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    xmlAttrPtr attribute = FindAttribute(node_, name);
    if (!attribute) {
        value->vt = VT_NULL;
        return S_FALSE;
    }
    return ValueVariant(attribute, value);
}

HRESULT ElementObject::setAttribute(BSTR name, VARIANT value) {
    std::u16string chars = BstrText(name);
    std::string qualifiedName;
    if (!Utf16ToUtf8(chars.data(), chars.size(), qualifiedName) ||
        xmlValidateQName(reinterpret_cast<const xmlChar*>(qualifiedName.c_str()), 0) != 0)
        return Fail(E_FAIL, u"'" + chars + u"' is not a valid attribute name.");
    std::string text;
    HRESULT hr = VariantToUtf8(value, text);
    if (FAILED(hr)) return Fail(hr, u"The attribute value cannot be taken as text.");
    if (xmlAttrPtr existing = FindAttribute(node_, name)) {
        // Same node, new value: an attribute object handed out earlier stays valid.
        xmlSetNsProp(node_, existing->ns, existing->name, reinterpret_cast<const xmlChar*>(text.c_str()));
        MarkDefaulted(existing, false);  // a value set is a value specified
        return S_OK;
    }
    // A new attribute takes its name as given; a prefix bound in scope puts it
    // in that namespace.
    if (!xmlSetProp(node_, reinterpret_cast<const xmlChar*>(qualifiedName.c_str()),
                    reinterpret_cast<const xmlChar*>(text.c_str())))
        return E_OUTOFMEMORY;
    return S_OK;
}

HRESULT ElementObject::removeAttribute(BSTR name) {
    if (xmlAttrPtr attribute = FindAttribute(node_, name)) tree_->Detach(reinterpret_cast<xmlNodePtr>(attribute));
    return S_OK;
}

HRESULT ElementObject::getAttributeNode(BSTR name, IXMLDOMAttribute** attributeNode) {
    if (!attributeNode) return E_POINTER;
    return WrapNode(owner_, tree_, reinterpret_cast<xmlNodePtr>(FindAttribute(node_, name)), IID_IXMLDOMAttribute,
                    reinterpret_cast<void**>(attributeNode));
}

HRESULT ElementObject::setAttributeNode(IXMLDOMAttribute*, IXMLDOMAttribute** attributeNode) {
    if (attributeNode) *attributeNode = nullptr;
    return E_NOTIMPL;
}

HRESULT ElementObject::removeAttributeNode(IXMLDOMAttribute*, IXMLDOMAttribute** attributeNode) {
    if (attributeNode) *attributeNode = nullptr;
    return E_NOTIMPL;
}

HRESULT ElementObject::getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) {
    return ElementsByTagName(owner_, Handle(), tagName, resultList);
}

HRESULT ElementObject::normalize() { return E_NOTIMPL; }

// ---- AttributeObject ----

void* AttributeObject::ExtraInterface(REFIID riid) {
    return IsEqualIID(riid, IID_IXMLDOMAttribute) ? static_cast<IXMLDOMAttribute*>(this) : nullptr;
}

HRESULT AttributeObject::get_name(BSTR* attributeName) { return get_nodeName(attributeName); }

HRESULT AttributeObject::get_value(VARIANT* attributeValue) {
    if (!attributeValue) return E_POINTER;
    VariantInit(attributeValue);
    return ValueVariant(reinterpret_cast<xmlAttrPtr>(node_), attributeValue);
}

HRESULT AttributeObject::put_value(VARIANT attributeValue) { return put_nodeValue(attributeValue); }

}  // namespace wincompat::msxml
