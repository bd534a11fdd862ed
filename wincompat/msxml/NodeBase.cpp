// IXMLDOMNode, shared by the document and every node object.
#include "msxml/DomObjects.h"
#include "msxml/Serialise.h"
#include "msxml/Text.h"
#include "msxml/TextValue.h"
#include "msxml/TypedValue.h"
#include "msxml/XmlChars.h"

#include <memory>

namespace wincompat::msxml {

// {5E3C4A1B-9D2F-4B7E-8C61-0A7F2D9B3E15}: private to wincompat.
const IID IID_DomNodeAccess = {0x5E3C4A1B, 0x9D2F, 0x4B7E, {0x8C, 0x61, 0x0A, 0x7F, 0x2D, 0x9B, 0x3E, 0x15}};

namespace {

const xmlChar* Chars(const std::string& text) { return reinterpret_cast<const xmlChar*>(text.c_str()); }

bool IsTextLike(xmlNodePtr node) {
    return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE || node->type == XML_COMMENT_NODE ||
           node->type == XML_PI_NODE;
}

// Nodes whose children the DOM shows. Attribute values and entity references
// are read through their text, never as child nodes.
bool ShowsChildren(xmlNodePtr node) {
    return node->type == XML_ELEMENT_NODE || node->type == XML_DOCUMENT_NODE || node->type == XML_DOCUMENT_FRAG_NODE;
}

DOMNodeType DomTypeOf(xmlNodePtr node) {
    switch (node->type) {
        case XML_ELEMENT_NODE: return NODE_ELEMENT;
        case XML_ATTRIBUTE_NODE: return NODE_ATTRIBUTE;
        case XML_TEXT_NODE: return NODE_TEXT;
        case XML_CDATA_SECTION_NODE: return NODE_CDATA_SECTION;
        case XML_ENTITY_REF_NODE: return NODE_ENTITY_REFERENCE;
        case XML_ENTITY_DECL: return NODE_ENTITY;
        case XML_PI_NODE: return NODE_PROCESSING_INSTRUCTION;
        case XML_COMMENT_NODE: return NODE_COMMENT;
        case XML_DOCUMENT_NODE:
        case XML_HTML_DOCUMENT_NODE: return NODE_DOCUMENT;
        case XML_DOCUMENT_TYPE_NODE:
        case XML_DTD_NODE: return NODE_DOCUMENT_TYPE;
        case XML_DOCUMENT_FRAG_NODE: return NODE_DOCUMENT_FRAGMENT;
        case XML_NOTATION_NODE: return NODE_NOTATION;
        default: return NODE_INVALID;
    }
}

const char16_t* TypeString(DOMNodeType type) {
    switch (type) {
        case NODE_ELEMENT: return u"element";
        case NODE_ATTRIBUTE: return u"attribute";
        case NODE_TEXT: return u"text";
        case NODE_CDATA_SECTION: return u"cdatasection";
        case NODE_ENTITY_REFERENCE: return u"entityreference";
        case NODE_ENTITY: return u"entity";
        case NODE_PROCESSING_INSTRUCTION: return u"processinginstruction";
        case NODE_COMMENT: return u"comment";
        case NODE_DOCUMENT: return u"document";
        case NODE_DOCUMENT_TYPE: return u"documenttype";
        case NODE_DOCUMENT_FRAGMENT: return u"documentfragment";
        case NODE_NOTATION: return u"notation";
        default: return u"";
    }
}

std::u16string NodeName(xmlNodePtr node) {
    switch (node->type) {
        case XML_ELEMENT_NODE:
        case XML_ATTRIBUTE_NODE: {
            std::string name = QualifiedName(node);
            return Utf8ToUtf16(name);
        }
        case XML_TEXT_NODE: return u"#text";
        case XML_CDATA_SECTION_NODE: return u"#cdata-section";
        case XML_COMMENT_NODE: return u"#comment";
        case XML_DOCUMENT_NODE:
        case XML_HTML_DOCUMENT_NODE: return u"#document";
        case XML_DOCUMENT_FRAG_NODE: return u"#document-fragment";
        default: return Utf8ToUtf16(node->name);
    }
}

std::u16string ContentOf(xmlNodePtr node) {
    XmlString content(xmlNodeGetContent(node));
    return Utf8ToUtf16(content.get());
}

void LinkChild(xmlNodePtr parent, xmlNodePtr child, xmlNodePtr before) {
    // Linked by hand: xmlAddChild would merge adjacent text nodes and free
    // the one handed in, which a node object may still refer to.
    child->parent = parent;
    if (before) {
        child->next = before;
        child->prev = before->prev;
        if (before->prev)
            before->prev->next = child;
        else
            parent->children = child;
        before->prev = child;
    } else {
        child->next = nullptr;
        child->prev = parent->last;
        if (parent->last)
            parent->last->next = child;
        else
            parent->children = child;
        parent->last = child;
    }
}

// Replaces the value of an attribute; the attribute node itself stays.
void SetAttributeValue(xmlAttrPtr attribute, const std::string& value) {
    MarkDefaulted(attribute, false);  // a value set is a value specified
    if (attribute->parent) {
        xmlSetNsProp(attribute->parent, attribute->ns, attribute->name, Chars(value));
        return;
    }
    xmlFreeNodeList(attribute->children);
    attribute->children = attribute->last = nullptr;
    xmlNodePtr text = xmlNewDocText(attribute->doc, Chars(value));
    if (text) {
        text->parent = reinterpret_cast<xmlNodePtr>(attribute);
        attribute->children = attribute->last = text;
    }
}

}  // namespace

std::string QualifiedName(xmlNodePtr node) {
    std::string name;
    if (node->ns && node->ns->prefix) {
        name = reinterpret_cast<const char*>(node->ns->prefix);
        name += ':';
    }
    if (node->name) name += reinterpret_cast<const char*>(node->name);
    return name;
}

bool HandleOf(IUnknown* node, NodeHandle& handle) {
    if (!node) return false;
    DomNodeAccess* access = nullptr;
    if (FAILED(node->QueryInterface(IID_DomNodeAccess, reinterpret_cast<void**>(&access))) || !access) return false;
    handle = access->Handle();
    access->Release();
    return handle.node != nullptr;
}

// ---- IUnknown, ISupportErrorInfo ----

template <class Interface>
HRESULT NodeBase<Interface>::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IXMLDOMNode)) {
        *ppv = static_cast<IXMLDOMNode*>(this);
    } else if (IsEqualIID(riid, IID_ISupportErrorInfo)) {
        *ppv = static_cast<ISupportErrorInfo*>(this);
    } else if (IsEqualIID(riid, IID_DomNodeAccess)) {
        *ppv = static_cast<DomNodeAccess*>(this);
    } else {
        *ppv = ExtraInterface(riid);
    }
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IXMLDOMNode) || IsEqualIID(riid, IID_IXMLDOMElement) ||
                   IsEqualIID(riid, IID_IXMLDOMAttribute) || IsEqualIID(riid, IID_IXMLDOMDocument) ||
                   IsEqualIID(riid, IID_IXMLDOMDocument2)
               ? S_OK
               : S_FALSE;
}

// ---- names, types, values ----

template <class Interface>
HRESULT NodeBase<Interface>::get_nodeName(BSTR* name) {
    return ReturnBstr(NodeName(this->Handle().node), name);
}

template <class Interface>
HRESULT NodeBase<Interface>::get_nodeValue(VARIANT* value) {
    if (!value) return E_POINTER;
    VariantInit(value);
    xmlNodePtr node = this->Handle().node;
    if (!IsTextLike(node) && node->type != XML_ATTRIBUTE_NODE) {
        value->vt = VT_NULL;
        return S_FALSE;
    }
    value->bstrVal = AllocBstr(ContentOf(node));
    if (!value->bstrVal) return E_OUTOFMEMORY;
    value->vt = VT_BSTR;
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::put_nodeValue(VARIANT value) {
    xmlNodePtr node = this->Handle().node;
    if (!IsTextLike(node) && node->type != XML_ATTRIBUTE_NODE)
        return Fail(E_FAIL, u"This operation can not be performed with a Node of type " +
                                std::u16string(TypeString(DomTypeOf(node))) + u".");
    std::string text;
    HRESULT hr = VariantToUtf8(value, text);
    if (FAILED(hr)) return hr;
    if (node->type == XML_ATTRIBUTE_NODE)
        SetAttributeValue(reinterpret_cast<xmlAttrPtr>(node), text);
    else
        xmlNodeSetContent(node, Chars(text));
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::get_nodeType(DOMNodeType* type) {
    if (!type) return E_POINTER;
    *type = DomTypeOf(this->Handle().node);
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::get_nodeTypeString(BSTR* nodeType) {
    return ReturnBstr(TypeString(DomTypeOf(this->Handle().node)), nodeType);
}

template <class Interface>
HRESULT NodeBase<Interface>::get_text(BSTR* text) {
    NodeHandle h = this->Handle();
    if (!text) return E_POINTER;
    std::string chars = TextValue(h.node, OwnerDocument()->PreservesWhiteSpace());
    *text = AllocBstrFromUtf8(chars);
    return *text ? S_OK : E_OUTOFMEMORY;
}

template <class Interface>
HRESULT NodeBase<Interface>::put_text(BSTR text) {
    NodeHandle h = this->Handle();
    std::u16string chars = BstrText(text);
    std::string utf8;
    if (!Utf16ToUtf8(chars.data(), chars.size(), utf8) || utf8.find('\0') != std::string::npos)
        return Fail(E_INVALIDARG, u"The text holds a character that XML cannot carry.");
    xmlNodePtr node = h.node;
    if (node->type == XML_ATTRIBUTE_NODE) {
        SetAttributeValue(reinterpret_cast<xmlAttrPtr>(node), utf8);
        return S_OK;
    }
    if (IsTextLike(node)) {
        xmlNodeSetContent(node, Chars(utf8));
        return S_OK;
    }
    if (node->type != XML_ELEMENT_NODE)
        return Fail(E_FAIL, u"This operation can not be performed with a Node of type " +
                                std::u16string(TypeString(DomTypeOf(node))) + u".");
    // The content becomes one text node (none for the empty string).
    while (node->children) h.tree->Detach(node->children);
    if (!utf8.empty()) {
        xmlNodePtr textNode = xmlNewDocText(node->doc, Chars(utf8));
        if (!textNode) return E_OUTOFMEMORY;
        LinkChild(node, textNode, nullptr);
    }
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::get_specified(VARIANT_BOOL* isSpecified) {
    if (!isSpecified) return E_POINTER;
    // Only an attribute that a DTD default supplied is not specified.
    xmlNodePtr node = this->Handle().node;
    bool defaulted = node->type == XML_ATTRIBUTE_NODE && IsDefaulted(reinterpret_cast<xmlAttrPtr>(node));
    *isSpecified = defaulted ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::get_definition(IXMLDOMNode** definitionNode) {
    if (!definitionNode) return E_POINTER;
    *definitionNode = nullptr;
    return S_FALSE;
}

template <class Interface>
HRESULT NodeBase<Interface>::get_nodeTypedValue(VARIANT* typedValue) {
    if (!typedValue) return E_POINTER;
    VariantInit(typedValue);
    TreeRef held;
    const TreeRef* tree = nullptr;
    xmlNodePtr node = CallNode(held, tree);
    std::u16string error;
    if (!ReadTypedValue(node, typedValue, error)) {
        VariantClear(typedValue);
        return Fail(E_FAIL, error);
    }
    return typedValue->vt == VT_NULL ? S_FALSE : S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::put_nodeTypedValue(VARIANT) {
    return E_NOTIMPL;
}

template <class Interface>
HRESULT NodeBase<Interface>::get_dataType(VARIANT* dataTypeName) {
    if (!dataTypeName) return E_POINTER;
    VariantInit(dataTypeName);
    std::string type = DeclaredDataType(this->Handle().node);
    if (type.empty()) {
        dataTypeName->vt = VT_NULL;
        return S_FALSE;
    }
    dataTypeName->bstrVal = AllocBstr(Utf8ToUtf16(type));
    if (!dataTypeName->bstrVal) return E_OUTOFMEMORY;
    dataTypeName->vt = VT_BSTR;
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::put_dataType(BSTR) {
    return E_NOTIMPL;
}

template <class Interface>
HRESULT NodeBase<Interface>::get_xml(BSTR* xmlString) {
    if (!xmlString) return E_POINTER;
    *xmlString = nullptr;
    NodeHandle h = this->Handle();
    std::u16string xml;
    if (!SerialiseNode(*h.tree, h.node, xml)) return E_OUTOFMEMORY;
    return ReturnBstr(xml, xmlString);
}

template <class Interface>
HRESULT NodeBase<Interface>::get_parsed(VARIANT_BOOL* isParsed) {
    if (!isParsed) return E_POINTER;
    *isParsed = VARIANT_TRUE;
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::get_namespaceURI(BSTR* namespaceURI) {
    xmlNodePtr node = this->Handle().node;
    bool named = node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE;
    return ReturnBstr(named && node->ns ? Utf8ToUtf16(node->ns->href) : std::u16string(), namespaceURI);
}

template <class Interface>
HRESULT NodeBase<Interface>::get_prefix(BSTR* prefixString) {
    xmlNodePtr node = this->Handle().node;
    bool named = node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE;
    return ReturnBstr(named && node->ns ? Utf8ToUtf16(node->ns->prefix) : std::u16string(), prefixString);
}

template <class Interface>
HRESULT NodeBase<Interface>::get_baseName(BSTR* nameString) {
    xmlNodePtr node = this->Handle().node;
    bool named = node->type == XML_ELEMENT_NODE || node->type == XML_ATTRIBUTE_NODE || node->type == XML_PI_NODE ||
                 node->type == XML_ENTITY_REF_NODE;
    return ReturnBstr(named ? Utf8ToUtf16(node->name) : std::u16string(), nameString);
}

// ---- navigation ----

template <class Interface>
HRESULT NodeBase<Interface>::get_parentNode(IXMLDOMNode** parent) {
    if (!parent) return E_POINTER;
    NodeHandle h = this->Handle();
    // An attribute has no parent in the DOM; its element is its owner.
    xmlNodePtr up = h.node->type == XML_ATTRIBUTE_NODE ? nullptr : h.node->parent;
    return WrapNode(OwnerDocument(), h.tree, up, IID_IXMLDOMNode, reinterpret_cast<void**>(parent));
}

template <class Interface>
HRESULT NodeBase<Interface>::get_childNodes(IXMLDOMNodeList** childList) {
    if (!childList) return E_POINTER;
    *childList = nullptr;
    NodeHandle h = this->Handle();
    std::vector<xmlNodePtr> children;
    if (ShowsChildren(h.node))
        for (xmlNodePtr child = h.node->children; child; child = child->next) children.push_back(child);
    auto* list = new (std::nothrow) NodeListObject(OwnerDocument(), h.tree, std::move(children));
    if (!list) return E_OUTOFMEMORY;
    return HandOut(list, IID_IXMLDOMNodeList, reinterpret_cast<void**>(childList));
}

template <class Interface>
HRESULT NodeBase<Interface>::get_firstChild(IXMLDOMNode** firstChild) {
    if (!firstChild) return E_POINTER;
    NodeHandle h = this->Handle();
    xmlNodePtr child = ShowsChildren(h.node) ? h.node->children : nullptr;
    return WrapNode(OwnerDocument(), h.tree, child, IID_IXMLDOMNode, reinterpret_cast<void**>(firstChild));
}

template <class Interface>
HRESULT NodeBase<Interface>::get_lastChild(IXMLDOMNode** lastChild) {
    if (!lastChild) return E_POINTER;
    NodeHandle h = this->Handle();
    xmlNodePtr child = ShowsChildren(h.node) ? h.node->last : nullptr;
    return WrapNode(OwnerDocument(), h.tree, child, IID_IXMLDOMNode, reinterpret_cast<void**>(lastChild));
}

template <class Interface>
HRESULT NodeBase<Interface>::get_previousSibling(IXMLDOMNode** previousSibling) {
    if (!previousSibling) return E_POINTER;
    NodeHandle h = this->Handle();
    xmlNodePtr sibling = h.node->type == XML_ATTRIBUTE_NODE ? nullptr : h.node->prev;
    return WrapNode(OwnerDocument(), h.tree, sibling, IID_IXMLDOMNode, reinterpret_cast<void**>(previousSibling));
}

template <class Interface>
HRESULT NodeBase<Interface>::get_nextSibling(IXMLDOMNode** nextSibling) {
    if (!nextSibling) return E_POINTER;
    NodeHandle h = this->Handle();
    xmlNodePtr sibling = h.node->type == XML_ATTRIBUTE_NODE ? nullptr : h.node->next;
    return WrapNode(OwnerDocument(), h.tree, sibling, IID_IXMLDOMNode, reinterpret_cast<void**>(nextSibling));
}

template <class Interface>
HRESULT NodeBase<Interface>::get_attributes(IXMLDOMNamedNodeMap** attributeMap) {
    if (!attributeMap) return E_POINTER;
    *attributeMap = nullptr;
    NodeHandle h = this->Handle();
    if (h.node->type != XML_ELEMENT_NODE) return S_FALSE;
    auto* map = new (std::nothrow) AttributeMapObject(OwnerDocument(), h.tree, h.node);
    if (!map) return E_OUTOFMEMORY;
    return HandOut(map, IID_IXMLDOMNamedNodeMap, reinterpret_cast<void**>(attributeMap));
}

template <class Interface>
HRESULT NodeBase<Interface>::hasChildNodes(VARIANT_BOOL* hasChild) {
    if (!hasChild) return E_POINTER;
    xmlNodePtr node = this->Handle().node;
    bool any = ShowsChildren(node) && node->children != nullptr;
    *hasChild = any ? VARIANT_TRUE : VARIANT_FALSE;
    return any ? S_OK : S_FALSE;
}

template <class Interface>
HRESULT NodeBase<Interface>::get_ownerDocument(IXMLDOMDocument** DOMDocument) {
    if (!DOMDocument) return E_POINTER;
    *DOMDocument = nullptr;
    if (this->Handle().node->type == XML_DOCUMENT_NODE) return S_FALSE;
    return OwnerDocument()->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(DOMDocument));
}

// ---- changing the tree ----

template <class Interface>
HRESULT NodeBase<Interface>::InsertChild(IXMLDOMNode* newChild, xmlNodePtr before, IXMLDOMNode** outNewChild) {
    if (outNewChild) *outNewChild = nullptr;
    if (!newChild) return E_INVALIDARG;
    NodeHandle parent = this->Handle();
    NodeHandle child;
    if (!HandleOf(newChild, child)) return Fail(E_INVALIDARG, u"The node was not created by this DOM.");
    if (child.tree != parent.tree)
        return Fail(E_INVALIDARG, u"The node belongs to another document; insert a copy made by this document.");
    xmlNodePtr node = child.node;
    if (!ShowsChildren(parent.node))
        return Fail(E_FAIL, u"This operation can not be performed with a Node of type " +
                                std::u16string(TypeString(DomTypeOf(parent.node))) + u".");
    if (node->type == XML_DOCUMENT_NODE || node->type == XML_ATTRIBUTE_NODE || node->type == XML_DTD_NODE ||
        node->type == XML_ENTITY_DECL || node->type == XML_NAMESPACE_DECL)
        return Fail(E_FAIL, u"This operation can not be performed with a Node of type " +
                                std::u16string(TypeString(DomTypeOf(node))) + u".");
    for (xmlNodePtr up = parent.node; up; up = up->parent)
        if (up == node) return Fail(E_FAIL, u"Inserting a node or its ancestor under itself is not allowed.");
    if (parent.node->type == XML_DOCUMENT_NODE) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE || node->type == XML_ENTITY_REF_NODE)
            return Fail(E_FAIL, u"This operation can not be performed with a Node of type " +
                                    std::u16string(TypeString(DomTypeOf(node))) + u".");
        xmlNodePtr root = xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(parent.node));
        if (node->type == XML_ELEMENT_NODE && root && root != node)
            return Fail(E_FAIL, u"Only one top level element is allowed in an XML document.");
    }
    if (node != before) {
        if (node->parent) xmlUnlinkNode(node);
        LinkChild(parent.node, node, before);
        // Keep the namespaces that the node uses declared where it now sits.
        if (node->type == XML_ELEMENT_NODE) xmlReconciliateNs(node->doc, node);
    }
    if (outNewChild) {
        *outNewChild = newChild;
        newChild->AddRef();
    }
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) {
    return InsertChild(newChild, nullptr, outNewChild);
}

template <class Interface>
HRESULT NodeBase<Interface>::insertBefore(IXMLDOMNode* newChild, VARIANT refChild, IXMLDOMNode** outNewChild) {
    xmlNodePtr before = nullptr;
    if (refChild.vt == VT_UNKNOWN || refChild.vt == VT_DISPATCH) {
        IUnknown* ref = refChild.vt == VT_UNKNOWN ? refChild.punkVal : refChild.pdispVal;
        if (ref) {
            NodeHandle refHandle;
            if (!HandleOf(ref, refHandle) || refHandle.node->parent != this->Handle().node ||
                refHandle.node->type == XML_ATTRIBUTE_NODE)
                return Fail(E_INVALIDARG, u"The reference node is not a child of this node.");
            before = refHandle.node;
        }
    } else if (refChild.vt != VT_EMPTY && refChild.vt != VT_NULL && refChild.vt != VT_ERROR) {
        return E_INVALIDARG;
    }
    return InsertChild(newChild, before, outNewChild);
}

template <class Interface>
HRESULT NodeBase<Interface>::removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) {
    if (oldChild) *oldChild = nullptr;
    NodeHandle h = this->Handle();
    NodeHandle child;
    if (!HandleOf(childNode, child) || child.node->parent != h.node || child.node->type == XML_ATTRIBUTE_NODE)
        return Fail(E_INVALIDARG, u"The node is not a child of this node.");
    h.tree->Detach(child.node);
    if (oldChild) {
        *oldChild = childNode;
        childNode->AddRef();
    }
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild, IXMLDOMNode** outOldChild) {
    if (outOldChild) *outOldChild = nullptr;
    NodeHandle h = this->Handle();
    NodeHandle old;
    if (!HandleOf(oldChild, old) || old.node->parent != h.node || old.node->type == XML_ATTRIBUTE_NODE)
        return Fail(E_INVALIDARG, u"The node to replace is not a child of this node.");
    if (newChild == oldChild) {
        if (outOldChild) {
            *outOldChild = oldChild;
            oldChild->AddRef();
        }
        return S_OK;
    }
    // The document's root may be replaced by another element.
    bool replacingRoot = h.node->type == XML_DOCUMENT_NODE && old.node->type == XML_ELEMENT_NODE;
    xmlNodePtr oldNext = old.node->next;
    if (replacingRoot) h.tree->Detach(old.node);
    HRESULT hr = InsertChild(newChild, replacingRoot ? oldNext : old.node, nullptr);
    if (FAILED(hr)) {
        if (replacingRoot) LinkChild(h.node, old.node, oldNext);  // put the old root back
        return hr;
    }
    if (!replacingRoot) h.tree->Detach(old.node);
    if (outOldChild) {
        *outOldChild = oldChild;
        oldChild->AddRef();
    }
    return S_OK;
}

template <class Interface>
HRESULT NodeBase<Interface>::cloneNode(VARIANT_BOOL deep, IXMLDOMNode** cloneRoot) {
    if (!cloneRoot) return E_POINTER;
    *cloneRoot = nullptr;
    NodeHandle h = this->Handle();
    xmlNodePtr copy = nullptr;
    if (h.node->type == XML_DOCUMENT_NODE || h.node->type == XML_DTD_NODE || h.node->type == XML_ENTITY_DECL)
        return E_NOTIMPL;
    if (h.node->type == XML_ATTRIBUTE_NODE)
        copy = reinterpret_cast<xmlNodePtr>(xmlCopyProp(nullptr, reinterpret_cast<xmlAttrPtr>(h.node)));
    else
        copy = xmlDocCopyNode(h.node, h.node->doc, deep ? 1 : 2);
    if (!copy) return E_OUTOFMEMORY;
    h.tree->KeepDetached(copy);
    return WrapNode(OwnerDocument(), h.tree, copy, IID_IXMLDOMNode, reinterpret_cast<void**>(cloneRoot));
}

// ---- selection ----

template <class Interface>
HRESULT NodeBase<Interface>::selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) {
    if (!resultList) return E_POINTER;
    *resultList = nullptr;
    TreeRef held;
    const TreeRef* tree = nullptr;
    xmlNodePtr node = CallNode(held, tree);
    std::vector<xmlNodePtr> nodes;
    std::u16string error;
    if (!OwnerDocument()->selector().Select(node, BstrView(queryString), false, nodes, error))
        return Fail(E_FAIL, error);
    auto* list = new (std::nothrow) NodeListObject(OwnerDocument(), *tree, std::move(nodes));
    if (!list) return E_OUTOFMEMORY;
    return HandOut(list, IID_IXMLDOMNodeList, reinterpret_cast<void**>(resultList));
}

template <class Interface>
HRESULT NodeBase<Interface>::selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) {
    if (!resultNode) return E_POINTER;
    *resultNode = nullptr;
    TreeRef held;
    const TreeRef* tree = nullptr;
    xmlNodePtr node = CallNode(held, tree);
    xmlNodePtr found = nullptr;
    std::u16string error;
    if (!OwnerDocument()->selector().SelectFirst(node, BstrView(queryString), found, error)) return Fail(E_FAIL, error);
    return WrapNode(OwnerDocument(), *tree, found, IID_IXMLDOMNode, reinterpret_cast<void**>(resultNode));
}

// ---- transformations are not part of this DOM ----

template <class Interface>
HRESULT NodeBase<Interface>::transformNode(IXMLDOMNode*, BSTR* xmlString) {
    if (xmlString) *xmlString = nullptr;
    return E_NOTIMPL;
}

template <class Interface>
HRESULT NodeBase<Interface>::transformNodeToObject(IXMLDOMNode*, VARIANT) {
    return E_NOTIMPL;
}

// ---- node objects ----

template <class Interface>
NodeObject<Interface>::NodeObject(DomDocument* owner, TreeRef tree, xmlNodePtr node)
    : owner_(owner), tree_(std::move(tree)), node_(node) {
    owner_->AddRef();
}

template <class Interface>
NodeObject<Interface>::~NodeObject() {
    owner_->Release();
}

template class NodeBase<IXMLDOMNode>;
template class NodeBase<IXMLDOMElement>;
template class NodeBase<IXMLDOMAttribute>;
template class NodeBase<IXMLDOMDocument2>;
template class NodeObject<IXMLDOMNode>;
template class NodeObject<IXMLDOMElement>;
template class NodeObject<IXMLDOMAttribute>;

HRESULT WrapNode(DomDocument* owner, const TreeRef& tree, xmlNodePtr node, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!node) return S_FALSE;
    if (node->type == XML_DOCUMENT_NODE && owner->CurrentTree() == tree) return owner->QueryInterface(riid, out);
    IXMLDOMNode* object = nullptr;
    switch (node->type) {
        case XML_ELEMENT_NODE:
            object = static_cast<IXMLDOMElement*>(new (std::nothrow) ElementObject(owner, tree, node));
            break;
        case XML_ATTRIBUTE_NODE:
            object = static_cast<IXMLDOMAttribute*>(new (std::nothrow) AttributeObject(owner, tree, node));
            break;
        case XML_NAMESPACE_DECL: return E_INVALIDARG;  // not a node in libxml2's sense
        default: object = new (std::nothrow) PlainNodeObject(owner, tree, node); break;
    }
    if (!object) return E_OUTOFMEMORY;
    // Asked as IXMLDOMNode (what selections and navigation ask for), the new
    // object is handed out with its creation reference, as QueryInterface
    // would give it, without the AddRef and Release around it.
    if (IsEqualIID(riid, IID_IXMLDOMNode)) {
        *out = object;
        return S_OK;
    }
    HRESULT hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
}

}  // namespace wincompat::msxml
