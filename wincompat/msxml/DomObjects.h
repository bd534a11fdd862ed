// The COM objects of the DOM: the document, its nodes, node lists, attribute
// maps and parse errors. Every node object holds a reference to its document
// and to the libxml2 tree it lives in, so both outlive every node handed out.
#pragma once
#include "msxml/ComBase.h"
#include "msxml/Parser.h"
#include "msxml/Selection.h"
#include "msxml/XmlTree.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace wincompat::msxml {

class DomDocument;

// A node as the DOM objects address it: its tree and the libxml2 node.
struct NodeHandle {
    TreeRef tree;
    xmlNodePtr node = nullptr;
};

// Reaches the libxml2 node behind a node object of this DOM; answered by
// QueryInterface for IID_DomNodeAccess only (never exposed outside wincompat).
struct DomNodeAccess : public IUnknown {
    virtual NodeHandle Handle() const = 0;
};
extern const IID IID_DomNodeAccess;

// The IXMLDOMNode part that every node object shares. `Interface` is the most
// derived DOM interface that the object exposes.
template <class Interface>
class NodeBase : public DispatchStub<Interface>, public ISupportErrorInfo, public DomNodeAccess, protected RefCounted {
public:
    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }
    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    // IXMLDOMNode
    HRESULT STDMETHODCALLTYPE get_nodeName(BSTR* name) override;
    HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE put_nodeValue(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) override;
    HRESULT STDMETHODCALLTYPE get_parentNode(IXMLDOMNode** parent) override;
    HRESULT STDMETHODCALLTYPE get_childNodes(IXMLDOMNodeList** childList) override;
    HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** firstChild) override;
    HRESULT STDMETHODCALLTYPE get_lastChild(IXMLDOMNode** lastChild) override;
    HRESULT STDMETHODCALLTYPE get_previousSibling(IXMLDOMNode** previousSibling) override;
    HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** nextSibling) override;
    HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap** attributeMap) override;
    HRESULT STDMETHODCALLTYPE insertBefore(IXMLDOMNode* newChild, VARIANT refChild, IXMLDOMNode** outNewChild) override;
    HRESULT STDMETHODCALLTYPE replaceChild(IXMLDOMNode* newChild, IXMLDOMNode* oldChild,
                                           IXMLDOMNode** outOldChild) override;
    HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode* childNode, IXMLDOMNode** oldChild) override;
    HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* newChild, IXMLDOMNode** outNewChild) override;
    HRESULT STDMETHODCALLTYPE hasChildNodes(VARIANT_BOOL* hasChild) override;
    HRESULT STDMETHODCALLTYPE get_ownerDocument(IXMLDOMDocument** DOMDocument) override;
    HRESULT STDMETHODCALLTYPE cloneNode(VARIANT_BOOL deep, IXMLDOMNode** cloneRoot) override;
    HRESULT STDMETHODCALLTYPE get_nodeTypeString(BSTR* nodeType) override;
    HRESULT STDMETHODCALLTYPE get_text(BSTR* text) override;
    HRESULT STDMETHODCALLTYPE put_text(BSTR text) override;
    HRESULT STDMETHODCALLTYPE get_specified(VARIANT_BOOL* isSpecified) override;
    HRESULT STDMETHODCALLTYPE get_definition(IXMLDOMNode** definitionNode) override;
    HRESULT STDMETHODCALLTYPE get_nodeTypedValue(VARIANT* typedValue) override;
    HRESULT STDMETHODCALLTYPE put_nodeTypedValue(VARIANT typedValue) override;
    HRESULT STDMETHODCALLTYPE get_dataType(VARIANT* dataTypeName) override;
    HRESULT STDMETHODCALLTYPE put_dataType(BSTR dataTypeName) override;
    HRESULT STDMETHODCALLTYPE get_xml(BSTR* xmlString) override;
    HRESULT STDMETHODCALLTYPE transformNode(IXMLDOMNode* stylesheet, BSTR* xmlString) override;
    HRESULT STDMETHODCALLTYPE selectNodes(BSTR queryString, IXMLDOMNodeList** resultList) override;
    HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR queryString, IXMLDOMNode** resultNode) override;
    HRESULT STDMETHODCALLTYPE get_parsed(VARIANT_BOOL* isParsed) override;
    HRESULT STDMETHODCALLTYPE get_namespaceURI(BSTR* namespaceURI) override;
    HRESULT STDMETHODCALLTYPE get_prefix(BSTR* prefixString) override;
    HRESULT STDMETHODCALLTYPE get_baseName(BSTR* nameString) override;
    HRESULT STDMETHODCALLTYPE transformNodeToObject(IXMLDOMNode* stylesheet, VARIANT outputObject) override;

protected:
    // The document whose settings (selection namespaces) apply to this node.
    virtual DomDocument* OwnerDocument() const = 0;
    // Answers the interfaces beyond IUnknown, IDispatch and IXMLDOMNode.
    virtual void* ExtraInterface(REFIID riid) = 0;
    // The node one call works on, and its tree. A node object's tree never
    // changes and is only pointed at; the document's is copied into `held`,
    // since a load on another thread may replace it while the call runs.
    virtual xmlNodePtr CallNode(TreeRef& held, const TreeRef*& tree) const = 0;

    HRESULT Fail(HRESULT hr, const std::u16string& description) const {
        return ReportError(hr, IID_IXMLDOMNode, description);
    }
    // Links `child` under this node, before `before` (null: at the end).
    HRESULT InsertChild(IXMLDOMNode* newChild, xmlNodePtr before, IXMLDOMNode** outNewChild);
};

// Node objects other than the document: they stay on one libxml2 node.
template <class Interface>
class NodeObject : public NodeBase<Interface> {
public:
    NodeObject(DomDocument* owner, TreeRef tree, xmlNodePtr node);
    ~NodeObject() override;
    NodeHandle Handle() const override { return {tree_, node_}; }

protected:
    DomDocument* OwnerDocument() const override { return owner_; }
    void* ExtraInterface(REFIID) override { return nullptr; }
    xmlNodePtr CallNode(TreeRef&, const TreeRef*& tree) const override {
        tree = &tree_;
        return node_;
    }

    DomDocument* owner_;  // holds a reference
    TreeRef tree_;
    xmlNodePtr node_;
};

class ElementObject final : public NodeObject<IXMLDOMElement> {
public:
    using NodeObject::NodeObject;
    HRESULT STDMETHODCALLTYPE get_tagName(BSTR* tagName) override;
    HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value) override;
    HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name) override;
    HRESULT STDMETHODCALLTYPE getAttributeNode(BSTR name, IXMLDOMAttribute** attributeNode) override;
    HRESULT STDMETHODCALLTYPE setAttributeNode(IXMLDOMAttribute* DOMAttribute,
                                               IXMLDOMAttribute** attributeNode) override;
    HRESULT STDMETHODCALLTYPE removeAttributeNode(IXMLDOMAttribute* DOMAttribute,
                                                  IXMLDOMAttribute** attributeNode) override;
    HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) override;
    HRESULT STDMETHODCALLTYPE normalize() override;

protected:
    void* ExtraInterface(REFIID riid) override;
};

class AttributeObject final : public NodeObject<IXMLDOMAttribute> {
public:
    using NodeObject::NodeObject;
    HRESULT STDMETHODCALLTYPE get_name(BSTR* attributeName) override;
    HRESULT STDMETHODCALLTYPE get_value(VARIANT* attributeValue) override;
    HRESULT STDMETHODCALLTYPE put_value(VARIANT attributeValue) override;

protected:
    void* ExtraInterface(REFIID riid) override;
};

// Text, comments, processing instructions and every other kind of node.
class PlainNodeObject final : public NodeObject<IXMLDOMNode> {
public:
    using NodeObject::NodeObject;
};

// Which class a document was created as; decides the MSXML defaults.
enum class DocumentVersion { Msxml3, Msxml4, Msxml5, Msxml6 };

class DomDocument final : public NodeBase<IXMLDOMDocument2> {
public:
    explicit DomDocument(DocumentVersion version);
    // False when the empty document could not be made (out of memory).
    bool Initialised() const { return tree_ != nullptr; }

    NodeHandle Handle() const override;
    TreeRef CurrentTree() const;
    Selector& selector() { return selector_; }

    // IXMLDOMDocument
    HRESULT STDMETHODCALLTYPE get_doctype(IXMLDOMDocumentType** documentType) override;
    HRESULT STDMETHODCALLTYPE get_implementation(IXMLDOMImplementation** impl) override;
    HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** DOMElement) override;
    HRESULT STDMETHODCALLTYPE putref_documentElement(IXMLDOMElement* DOMElement) override;
    HRESULT STDMETHODCALLTYPE createElement(BSTR tagName, IXMLDOMElement** element) override;
    HRESULT STDMETHODCALLTYPE createDocumentFragment(IXMLDOMDocumentFragment** docFrag) override;
    HRESULT STDMETHODCALLTYPE createTextNode(BSTR data, IXMLDOMText** text) override;
    HRESULT STDMETHODCALLTYPE createComment(BSTR data, IXMLDOMComment** comment) override;
    HRESULT STDMETHODCALLTYPE createCDATASection(BSTR data, IXMLDOMCDATASection** cdata) override;
    HRESULT STDMETHODCALLTYPE createProcessingInstruction(BSTR target, BSTR data,
                                                          IXMLDOMProcessingInstruction** pi) override;
    HRESULT STDMETHODCALLTYPE createAttribute(BSTR name, IXMLDOMAttribute** attribute) override;
    HRESULT STDMETHODCALLTYPE createEntityReference(BSTR name, IXMLDOMEntityReference** entityRef) override;
    HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) override;
    HRESULT STDMETHODCALLTYPE createNode(VARIANT Type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) override;
    HRESULT STDMETHODCALLTYPE nodeFromID(BSTR idString, IXMLDOMNode** node) override;
    HRESULT STDMETHODCALLTYPE load(VARIANT xmlSource, VARIANT_BOOL* isSuccessful) override;
    HRESULT STDMETHODCALLTYPE get_readyState(LONG* value) override;
    HRESULT STDMETHODCALLTYPE get_parseError(IXMLDOMParseError** errorObj) override;
    HRESULT STDMETHODCALLTYPE get_url(BSTR* urlString) override;
    HRESULT STDMETHODCALLTYPE get_async(VARIANT_BOOL* isAsync) override;
    HRESULT STDMETHODCALLTYPE put_async(VARIANT_BOOL isAsync) override;
    HRESULT STDMETHODCALLTYPE abort() override;
    HRESULT STDMETHODCALLTYPE loadXML(BSTR bstrXML, VARIANT_BOOL* isSuccessful) override;
    HRESULT STDMETHODCALLTYPE save(VARIANT destination) override;
    HRESULT STDMETHODCALLTYPE get_validateOnParse(VARIANT_BOOL* isValidating) override;
    HRESULT STDMETHODCALLTYPE put_validateOnParse(VARIANT_BOOL isValidating) override;
    HRESULT STDMETHODCALLTYPE get_resolveExternals(VARIANT_BOOL* isResolving) override;
    HRESULT STDMETHODCALLTYPE put_resolveExternals(VARIANT_BOOL isResolving) override;
    HRESULT STDMETHODCALLTYPE get_preserveWhiteSpace(VARIANT_BOOL* isPreserving) override;
    HRESULT STDMETHODCALLTYPE put_preserveWhiteSpace(VARIANT_BOOL isPreserving) override;
    HRESULT STDMETHODCALLTYPE put_onreadystatechange(VARIANT readystatechangeSink) override;
    HRESULT STDMETHODCALLTYPE put_ondataavailable(VARIANT ondataavailableSink) override;
    HRESULT STDMETHODCALLTYPE put_ontransformnode(VARIANT ontransformnodeSink) override;
    // IXMLDOMDocument2
    HRESULT STDMETHODCALLTYPE get_namespaces(IXMLDOMSchemaCollection** namespaceCollection) override;
    HRESULT STDMETHODCALLTYPE get_schemas(VARIANT* otherCollection) override;
    HRESULT STDMETHODCALLTYPE putref_schemas(VARIANT otherCollection) override;
    HRESULT STDMETHODCALLTYPE validate(IXMLDOMParseError** errorObj) override;
    HRESULT STDMETHODCALLTYPE setProperty(BSTR name, VARIANT value) override;
    HRESULT STDMETHODCALLTYPE getProperty(BSTR name, VARIANT* value) override;

    // Read by the nodes' `text`, on whatever thread calls them.
    bool PreservesWhiteSpace() const { return preserveWhiteSpace_; }

protected:
    DomDocument* OwnerDocument() const override { return const_cast<DomDocument*>(this); }
    void* ExtraInterface(REFIID riid) override;
    xmlNodePtr CallNode(TreeRef& held, const TreeRef*& tree) const override;

private:
    HRESULT LoadBytes(const char* bytes, size_t length, bool utf8Text, const std::u16string& url,
                      VARIANT_BOOL* isSuccessful);
    HRESULT LoadLocation(const std::u16string& location, VARIANT_BOOL* isSuccessful);
    HRESULT FailLoad(const ParseErrorInfo& error, VARIANT_BOOL* isSuccessful);
    ParseSettings CurrentParseSettings() const;
    HRESULT DocFail(HRESULT hr, const std::u16string& description) const {
        return ReportError(hr, IID_IXMLDOMDocument2, description);
    }

    mutable std::mutex stateLock_;  // guards tree_, parseError_ and url_
    TreeRef tree_;
    ParseErrorInfo parseError_;
    std::u16string url_;
    Selector selector_;
    bool async_ = true;
    bool validateOnParse_ = true;
    bool resolveExternals_ = false;
    std::atomic<bool> preserveWhiteSpace_{false};
    bool prohibitDtd_;
    std::u16string selectionLanguage_;
};

class NodeListObject final : public DispatchStub<IXMLDOMNodeList>, public ISupportErrorInfo, protected RefCounted {
public:
    NodeListObject(DomDocument* owner, TreeRef tree, std::vector<xmlNodePtr> nodes);
    ~NodeListObject() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode** listItem) override;
    HRESULT STDMETHODCALLTYPE get_length(LONG* listLength) override;
    HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** nextItem) override;
    HRESULT STDMETHODCALLTYPE reset() override;
    HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown** ppUnk) override;

private:
    DomDocument* owner_;
    TreeRef tree_;
    std::vector<xmlNodePtr> nodes_;
    std::atomic<size_t> cursor_{0};
};

// The attributes of one element, read live from the element.
class AttributeMapObject final : public DispatchStub<IXMLDOMNamedNodeMap>,
                                 public ISupportErrorInfo,
                                 protected RefCounted {
public:
    AttributeMapObject(DomDocument* owner, TreeRef tree, xmlNodePtr element);
    ~AttributeMapObject() override;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    HRESULT STDMETHODCALLTYPE getNamedItem(BSTR name, IXMLDOMNode** namedItem) override;
    HRESULT STDMETHODCALLTYPE setNamedItem(IXMLDOMNode* newItem, IXMLDOMNode** nameItem) override;
    HRESULT STDMETHODCALLTYPE removeNamedItem(BSTR name, IXMLDOMNode** namedItem) override;
    HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode** listItem) override;
    HRESULT STDMETHODCALLTYPE get_length(LONG* listLength) override;
    HRESULT STDMETHODCALLTYPE getQualifiedItem(BSTR baseName, BSTR namespaceURI, IXMLDOMNode** qualifiedItem) override;
    HRESULT STDMETHODCALLTYPE removeQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                                  IXMLDOMNode** qualifiedItem) override;
    HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode** nextItem) override;
    HRESULT STDMETHODCALLTYPE reset() override;
    HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown** ppUnk) override;

private:
    xmlAttrPtr AttributeAt(size_t index) const;

    DomDocument* owner_;
    TreeRef tree_;
    xmlNodePtr element_;
    std::atomic<size_t> cursor_{0};
};

class ParseErrorObject final : public DispatchStub<IXMLDOMParseError>, protected RefCounted {
public:
    explicit ParseErrorObject(ParseErrorInfo info) : info_(std::move(info)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return AddReference(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseReference(); }

    HRESULT STDMETHODCALLTYPE get_errorCode(LONG* errorCode) override;
    HRESULT STDMETHODCALLTYPE get_url(BSTR* urlString) override;
    HRESULT STDMETHODCALLTYPE get_reason(BSTR* reasonString) override;
    HRESULT STDMETHODCALLTYPE get_srcText(BSTR* sourceString) override;
    HRESULT STDMETHODCALLTYPE get_line(LONG* lineNumber) override;
    HRESULT STDMETHODCALLTYPE get_linepos(LONG* linePosition) override;
    HRESULT STDMETHODCALLTYPE get_filepos(LONG* filePosition) override;

private:
    ParseErrorInfo info_;
};

// Hands out the right node object for `node` as `riid`; a null node gives
// S_FALSE and a null pointer, as MSXML does for "no such node".
HRESULT WrapNode(DomDocument* owner, const TreeRef& tree, xmlNodePtr node, REFIID riid, void** out);

// The elements under `root` with the qualified name `tagName` ("*": all), in
// document order.
HRESULT ElementsByTagName(DomDocument* owner, const NodeHandle& root, BSTR tagName, IXMLDOMNodeList** resultList);

// The libxml2 node behind `node` when it is one of this DOM's objects.
bool HandleOf(IUnknown* node, NodeHandle& handle);

// Qualified name as MSXML gives nodeName for elements and attributes.
std::string QualifiedName(xmlNodePtr node);

// Creates a document of the given version (the built-in class creators).
HRESULT CreateDomDocument(DocumentVersion version, IUnknown* outer, REFIID riid, void** out);

}  // namespace wincompat::msxml
