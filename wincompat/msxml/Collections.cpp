// Node lists, attribute maps and parse errors.
#include "msxml/DomObjects.h"
#include "msxml/Text.h"

namespace wincompat::msxml {

// ---- NodeListObject ----

NodeListObject::NodeListObject(DomDocument* owner, TreeRef tree, std::vector<xmlNodePtr> nodes)
    : owner_(owner), tree_(std::move(tree)), nodes_(std::move(nodes)) {
    owner_->AddRef();
}

NodeListObject::~NodeListObject() { owner_->Release(); }

HRESULT NodeListObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IXMLDOMNodeList))
        *ppv = static_cast<IXMLDOMNodeList*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        *ppv = static_cast<ISupportErrorInfo*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT NodeListObject::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IXMLDOMNodeList) ? S_OK : S_FALSE;
}

HRESULT NodeListObject::get_item(LONG index, IXMLDOMNode** listItem) {
    if (!listItem) return E_POINTER;
    *listItem = nullptr;
    // Out of range is not an error: MSXML answers S_FALSE and no node.
    if (index < 0 || static_cast<size_t>(index) >= nodes_.size()) return S_FALSE;
    return WrapNode(owner_, tree_, nodes_[static_cast<size_t>(index)], IID_IXMLDOMNode,
                    reinterpret_cast<void**>(listItem));
}

HRESULT NodeListObject::get_length(LONG* listLength) {
    if (!listLength) return E_POINTER;
    *listLength = static_cast<LONG>(nodes_.size());
    return S_OK;
}

HRESULT NodeListObject::nextNode(IXMLDOMNode** nextItem) {
    if (!nextItem) return E_POINTER;
    *nextItem = nullptr;
    size_t index = cursor_.load();
    if (index >= nodes_.size()) return S_FALSE;
    cursor_.store(index + 1);
    return WrapNode(owner_, tree_, nodes_[index], IID_IXMLDOMNode, reinterpret_cast<void**>(nextItem));
}

HRESULT NodeListObject::reset() {
    cursor_.store(0);
    return S_OK;
}

HRESULT NodeListObject::get__newEnum(IUnknown** ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
}

// ---- AttributeMapObject ----

AttributeMapObject::AttributeMapObject(DomDocument* owner, TreeRef tree, xmlNodePtr element)
    : owner_(owner), tree_(std::move(tree)), element_(element) {
    owner_->AddRef();
}

AttributeMapObject::~AttributeMapObject() { owner_->Release(); }

HRESULT AttributeMapObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IXMLDOMNamedNodeMap))
        *ppv = static_cast<IXMLDOMNamedNodeMap*>(this);
    else if (IsEqualIID(riid, IID_ISupportErrorInfo))
        *ppv = static_cast<ISupportErrorInfo*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT AttributeMapObject::InterfaceSupportsErrorInfo(REFIID riid) {
    return IsEqualIID(riid, IID_IXMLDOMNamedNodeMap) ? S_OK : S_FALSE;
}

xmlAttrPtr AttributeMapObject::AttributeAt(size_t index) const {
    xmlAttrPtr attribute = element_->properties;
    for (size_t k = 0; attribute && k < index; ++k) attribute = attribute->next;
    return attribute;
}

HRESULT AttributeMapObject::getNamedItem(BSTR name, IXMLDOMNode** namedItem) {
    if (!namedItem) return E_POINTER;
    *namedItem = nullptr;
    std::u16string chars = BstrText(name);
    std::string wanted;
    if (!Utf16ToUtf8(chars.data(), chars.size(), wanted)) return S_FALSE;
    for (xmlAttrPtr attribute = element_->properties; attribute; attribute = attribute->next) {
        auto node = reinterpret_cast<xmlNodePtr>(attribute);
        if (QualifiedName(node) == wanted)
            return WrapNode(owner_, tree_, node, IID_IXMLDOMNode, reinterpret_cast<void**>(namedItem));
    }
    return S_FALSE;
}

HRESULT AttributeMapObject::getQualifiedItem(BSTR baseName, BSTR namespaceURI, IXMLDOMNode** qualifiedItem) {
    if (!qualifiedItem) return E_POINTER;
    *qualifiedItem = nullptr;
    std::u16string nameChars = BstrText(baseName), uriChars = BstrText(namespaceURI);
    std::string name, uri;
    if (!Utf16ToUtf8(nameChars.data(), nameChars.size(), name) || !Utf16ToUtf8(uriChars.data(), uriChars.size(), uri))
        return S_FALSE;
    xmlAttrPtr attribute = xmlHasNsProp(element_, reinterpret_cast<const xmlChar*>(name.c_str()),
                                        uri.empty() ? nullptr : reinterpret_cast<const xmlChar*>(uri.c_str()));
    // xmlHasNsProp also reports DTD defaults, which are not attributes of the element.
    if (attribute && attribute->type != XML_ATTRIBUTE_NODE) attribute = nullptr;
    return WrapNode(owner_, tree_, reinterpret_cast<xmlNodePtr>(attribute), IID_IXMLDOMNode,
                    reinterpret_cast<void**>(qualifiedItem));
}

HRESULT AttributeMapObject::get_item(LONG index, IXMLDOMNode** listItem) {
    if (!listItem) return E_POINTER;
    *listItem = nullptr;
    if (index < 0) return S_FALSE;
    return WrapNode(owner_, tree_, reinterpret_cast<xmlNodePtr>(AttributeAt(static_cast<size_t>(index))),
                    IID_IXMLDOMNode, reinterpret_cast<void**>(listItem));
}

HRESULT AttributeMapObject::get_length(LONG* listLength) {
    if (!listLength) return E_POINTER;
    LONG count = 0;
    for (xmlAttrPtr attribute = element_->properties; attribute; attribute = attribute->next) ++count;
    *listLength = count;
    return S_OK;
}

HRESULT AttributeMapObject::nextNode(IXMLDOMNode** nextItem) {
    if (!nextItem) return E_POINTER;
    *nextItem = nullptr;
    size_t index = cursor_.load();
    xmlAttrPtr attribute = AttributeAt(index);
    if (!attribute) return S_FALSE;
    cursor_.store(index + 1);
    return WrapNode(owner_, tree_, reinterpret_cast<xmlNodePtr>(attribute), IID_IXMLDOMNode,
                    reinterpret_cast<void**>(nextItem));
}

HRESULT AttributeMapObject::reset() {
    cursor_.store(0);
    return S_OK;
}

HRESULT AttributeMapObject::setNamedItem(IXMLDOMNode*, IXMLDOMNode** nameItem) {
    if (nameItem) *nameItem = nullptr;
    return E_NOTIMPL;
}

HRESULT AttributeMapObject::removeNamedItem(BSTR, IXMLDOMNode** namedItem) {
    if (namedItem) *namedItem = nullptr;
    return E_NOTIMPL;
}

HRESULT AttributeMapObject::removeQualifiedItem(BSTR, BSTR, IXMLDOMNode** qualifiedItem) {
    if (qualifiedItem) *qualifiedItem = nullptr;
    return E_NOTIMPL;
}

HRESULT AttributeMapObject::get__newEnum(IUnknown** ppUnk) {
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
}

// ---- ParseErrorObject ----

HRESULT ParseErrorObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, IID_IXMLDOMParseError))
        *ppv = static_cast<IXMLDOMParseError*>(this);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

HRESULT ParseErrorObject::get_errorCode(LONG* errorCode) {
    if (!errorCode) return E_POINTER;
    *errorCode = info_.errorCode;
    return info_.errorCode ? S_OK : S_FALSE;
}

// Texts are null (S_FALSE) when there was no error, as in MSXML.
HRESULT ParseErrorObject::get_url(BSTR* urlString) {
    if (!urlString) return E_POINTER;
    *urlString = nullptr;
    return info_.url.empty() ? S_FALSE : ReturnBstr(info_.url, urlString);
}

HRESULT ParseErrorObject::get_reason(BSTR* reasonString) {
    if (!reasonString) return E_POINTER;
    *reasonString = nullptr;
    return info_.errorCode == 0 ? S_FALSE : ReturnBstr(info_.reason, reasonString);
}

HRESULT ParseErrorObject::get_srcText(BSTR* sourceString) {
    if (!sourceString) return E_POINTER;
    *sourceString = nullptr;
    return info_.errorCode == 0 ? S_FALSE : ReturnBstr(info_.srcText, sourceString);
}

HRESULT ParseErrorObject::get_line(LONG* lineNumber) {
    if (!lineNumber) return E_POINTER;
    *lineNumber = info_.line;
    return S_OK;
}

HRESULT ParseErrorObject::get_linepos(LONG* linePosition) {
    if (!linePosition) return E_POINTER;
    *linePosition = info_.linePosition;
    return S_OK;
}

HRESULT ParseErrorObject::get_filepos(LONG* filePosition) {
    if (!filePosition) return E_POINTER;
    *filePosition = info_.filePosition;
    return S_OK;
}

}  // namespace wincompat::msxml
