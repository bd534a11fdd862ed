// MSXML DOM interfaces (the subset of msxml2.h that the plug-ins use).
// Names, identifiers, method order and signatures are those of the Windows
// SDK, so the vtables match the system DOM slot for slot. Interfaces that no
// used signature needs in full are only forward-declared.
#pragma once
#include "oleauto.h"
#include "unknwn.h"

#ifndef __msxml2_h__
#define __msxml2_h__

typedef struct IXMLDOMImplementation IXMLDOMImplementation;
typedef struct IXMLDOMNode IXMLDOMNode;
typedef struct IXMLDOMDocumentFragment IXMLDOMDocumentFragment;
typedef struct IXMLDOMDocument IXMLDOMDocument;
typedef struct IXMLDOMDocument2 IXMLDOMDocument2;
typedef struct IXMLDOMNodeList IXMLDOMNodeList;
typedef struct IXMLDOMNamedNodeMap IXMLDOMNamedNodeMap;
typedef struct IXMLDOMCharacterData IXMLDOMCharacterData;
typedef struct IXMLDOMAttribute IXMLDOMAttribute;
typedef struct IXMLDOMElement IXMLDOMElement;
typedef struct IXMLDOMText IXMLDOMText;
typedef struct IXMLDOMComment IXMLDOMComment;
typedef struct IXMLDOMProcessingInstruction IXMLDOMProcessingInstruction;
typedef struct IXMLDOMCDATASection IXMLDOMCDATASection;
typedef struct IXMLDOMDocumentType IXMLDOMDocumentType;
typedef struct IXMLDOMNotation IXMLDOMNotation;
typedef struct IXMLDOMEntity IXMLDOMEntity;
typedef struct IXMLDOMEntityReference IXMLDOMEntityReference;
typedef struct IXMLDOMParseError IXMLDOMParseError;
typedef struct IXMLDOMSchemaCollection IXMLDOMSchemaCollection;

typedef enum tagDOMNodeType {
    NODE_INVALID = 0,
    NODE_ELEMENT,
    NODE_ATTRIBUTE,
    NODE_TEXT,
    NODE_CDATA_SECTION,
    NODE_ENTITY_REFERENCE,
    NODE_ENTITY,
    NODE_PROCESSING_INSTRUCTION,
    NODE_COMMENT,
    NODE_DOCUMENT,
    NODE_DOCUMENT_TYPE,
    NODE_DOCUMENT_FRAGMENT,
    NODE_NOTATION
} DOMNodeType;

EXTERN_C const IID LIBID_MSXML2;
EXTERN_C const IID IID_IXMLDOMImplementation;
EXTERN_C const IID IID_IXMLDOMNode;
EXTERN_C const IID IID_IXMLDOMDocumentFragment;
EXTERN_C const IID IID_IXMLDOMDocument;
EXTERN_C const IID IID_IXMLDOMDocument2;
EXTERN_C const IID IID_IXMLDOMNodeList;
EXTERN_C const IID IID_IXMLDOMNamedNodeMap;
EXTERN_C const IID IID_IXMLDOMCharacterData;
EXTERN_C const IID IID_IXMLDOMAttribute;
EXTERN_C const IID IID_IXMLDOMElement;
EXTERN_C const IID IID_IXMLDOMText;
EXTERN_C const IID IID_IXMLDOMComment;
EXTERN_C const IID IID_IXMLDOMProcessingInstruction;
EXTERN_C const IID IID_IXMLDOMCDATASection;
EXTERN_C const IID IID_IXMLDOMDocumentType;
EXTERN_C const IID IID_IXMLDOMNotation;
EXTERN_C const IID IID_IXMLDOMEntity;
EXTERN_C const IID IID_IXMLDOMEntityReference;
EXTERN_C const IID IID_IXMLDOMParseError;

// Document classes: the version-independent (3.0) standard and free-threaded
// documents, and the side-by-side 4.0 document.
EXTERN_C const CLSID CLSID_DOMDocument;
EXTERN_C const CLSID CLSID_FreeThreadedDOMDocument;
EXTERN_C const CLSID CLSID_DOMDocument40;

MIDL_INTERFACE("2933BF80-7B36-11D2-B20E-00C04F983E60")
IXMLDOMNode : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_nodeName(BSTR * name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_nodeValue(VARIANT * value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_nodeValue(VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType * type) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_parentNode(IXMLDOMNode * *parent) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_childNodes(IXMLDOMNodeList * *childList) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode * *firstChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_lastChild(IXMLDOMNode * *lastChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_previousSibling(IXMLDOMNode * *previousSibling) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode * *nextSibling) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_attributes(IXMLDOMNamedNodeMap * *attributeMap) = 0;
    virtual HRESULT STDMETHODCALLTYPE insertBefore(IXMLDOMNode * newChild, VARIANT refChild,
                                                   IXMLDOMNode * *outNewChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE replaceChild(IXMLDOMNode * newChild, IXMLDOMNode * oldChild,
                                                   IXMLDOMNode * *outOldChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode * childNode, IXMLDOMNode * *oldChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode * newChild, IXMLDOMNode * *outNewChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE hasChildNodes(VARIANT_BOOL * hasChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ownerDocument(IXMLDOMDocument * *DOMDocument) = 0;
    virtual HRESULT STDMETHODCALLTYPE cloneNode(VARIANT_BOOL deep, IXMLDOMNode * *cloneRoot) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_nodeTypeString(BSTR * nodeType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_text(BSTR * text) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_text(BSTR text) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_specified(VARIANT_BOOL * isSpecified) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_definition(IXMLDOMNode * *definitionNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_nodeTypedValue(VARIANT * typedValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_nodeTypedValue(VARIANT typedValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_dataType(VARIANT * dataTypeName) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_dataType(BSTR dataTypeName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_xml(BSTR * xmlString) = 0;
    virtual HRESULT STDMETHODCALLTYPE transformNode(IXMLDOMNode * stylesheet, BSTR * xmlString) = 0;
    virtual HRESULT STDMETHODCALLTYPE selectNodes(BSTR queryString, IXMLDOMNodeList * *resultList) = 0;
    virtual HRESULT STDMETHODCALLTYPE selectSingleNode(BSTR queryString, IXMLDOMNode * *resultNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_parsed(VARIANT_BOOL * isParsed) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_namespaceURI(BSTR * namespaceURI) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_prefix(BSTR * prefixString) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_baseName(BSTR * nameString) = 0;
    virtual HRESULT STDMETHODCALLTYPE transformNodeToObject(IXMLDOMNode * stylesheet, VARIANT outputObject) = 0;
};

MIDL_INTERFACE("2933BF81-7B36-11D2-B20E-00C04F983E60")
IXMLDOMDocument : public IXMLDOMNode {
    virtual HRESULT STDMETHODCALLTYPE get_doctype(IXMLDOMDocumentType * *documentType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_implementation(IXMLDOMImplementation * *impl) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement * *DOMElement) = 0;
    virtual HRESULT STDMETHODCALLTYPE putref_documentElement(IXMLDOMElement * DOMElement) = 0;
    virtual HRESULT STDMETHODCALLTYPE createElement(BSTR tagName, IXMLDOMElement * *element) = 0;
    virtual HRESULT STDMETHODCALLTYPE createDocumentFragment(IXMLDOMDocumentFragment * *docFrag) = 0;
    virtual HRESULT STDMETHODCALLTYPE createTextNode(BSTR data, IXMLDOMText * *text) = 0;
    virtual HRESULT STDMETHODCALLTYPE createComment(BSTR data, IXMLDOMComment * *comment) = 0;
    virtual HRESULT STDMETHODCALLTYPE createCDATASection(BSTR data, IXMLDOMCDATASection * *cdata) = 0;
    virtual HRESULT STDMETHODCALLTYPE createProcessingInstruction(BSTR target, BSTR data,
                                                                  IXMLDOMProcessingInstruction * *pi) = 0;
    virtual HRESULT STDMETHODCALLTYPE createAttribute(BSTR name, IXMLDOMAttribute * *attribute) = 0;
    virtual HRESULT STDMETHODCALLTYPE createEntityReference(BSTR name, IXMLDOMEntityReference * *entityRef) = 0;
    virtual HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR tagName, IXMLDOMNodeList * *resultList) = 0;
    virtual HRESULT STDMETHODCALLTYPE createNode(VARIANT Type, BSTR name, BSTR namespaceURI, IXMLDOMNode * *node) = 0;
    virtual HRESULT STDMETHODCALLTYPE nodeFromID(BSTR idString, IXMLDOMNode * *node) = 0;
    virtual HRESULT STDMETHODCALLTYPE load(VARIANT xmlSource, VARIANT_BOOL * isSuccessful) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_readyState(LONG * value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_parseError(IXMLDOMParseError * *errorObj) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_url(BSTR * urlString) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_async(VARIANT_BOOL * isAsync) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_async(VARIANT_BOOL isAsync) = 0;
    virtual HRESULT STDMETHODCALLTYPE abort(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE loadXML(BSTR bstrXML, VARIANT_BOOL * isSuccessful) = 0;
    virtual HRESULT STDMETHODCALLTYPE save(VARIANT destination) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_validateOnParse(VARIANT_BOOL * isValidating) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_validateOnParse(VARIANT_BOOL isValidating) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_resolveExternals(VARIANT_BOOL * isResolving) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_resolveExternals(VARIANT_BOOL isResolving) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_preserveWhiteSpace(VARIANT_BOOL * isPreserving) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_preserveWhiteSpace(VARIANT_BOOL isPreserving) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_onreadystatechange(VARIANT readystatechangeSink) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ondataavailable(VARIANT ondataavailableSink) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ontransformnode(VARIANT ontransformnodeSink) = 0;
};

MIDL_INTERFACE("2933BF95-7B36-11D2-B20E-00C04F983E60")
IXMLDOMDocument2 : public IXMLDOMDocument {
    virtual HRESULT STDMETHODCALLTYPE get_namespaces(IXMLDOMSchemaCollection * *namespaceCollection) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_schemas(VARIANT * otherCollection) = 0;
    virtual HRESULT STDMETHODCALLTYPE putref_schemas(VARIANT otherCollection) = 0;
    virtual HRESULT STDMETHODCALLTYPE validate(IXMLDOMParseError * *errorObj) = 0;
    virtual HRESULT STDMETHODCALLTYPE setProperty(BSTR name, VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE getProperty(BSTR name, VARIANT * value) = 0;
};

MIDL_INTERFACE("2933BF82-7B36-11D2-B20E-00C04F983E60")
IXMLDOMNodeList : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode * *listItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_length(LONG * listLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode * *nextItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE reset(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown * *ppUnk) = 0;
};

MIDL_INTERFACE("2933BF83-7B36-11D2-B20E-00C04F983E60")
IXMLDOMNamedNodeMap : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE getNamedItem(BSTR name, IXMLDOMNode * *namedItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE setNamedItem(IXMLDOMNode * newItem, IXMLDOMNode * *nameItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE removeNamedItem(BSTR name, IXMLDOMNode * *namedItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_item(LONG index, IXMLDOMNode * *listItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_length(LONG * listLength) = 0;
    virtual HRESULT STDMETHODCALLTYPE getQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                                       IXMLDOMNode * *qualifiedItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE removeQualifiedItem(BSTR baseName, BSTR namespaceURI,
                                                          IXMLDOMNode * *qualifiedItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE nextNode(IXMLDOMNode * *nextItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE reset(void) = 0;
    virtual HRESULT STDMETHODCALLTYPE get__newEnum(IUnknown * *ppUnk) = 0;
};

MIDL_INTERFACE("2933BF85-7B36-11D2-B20E-00C04F983E60")
IXMLDOMAttribute : public IXMLDOMNode {
    virtual HRESULT STDMETHODCALLTYPE get_name(BSTR * attributeName) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_value(VARIANT * attributeValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_value(VARIANT attributeValue) = 0;
};

MIDL_INTERFACE("2933BF86-7B36-11D2-B20E-00C04F983E60")
IXMLDOMElement : public IXMLDOMNode {
    virtual HRESULT STDMETHODCALLTYPE get_tagName(BSTR * tagName) = 0;
    virtual HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, VARIANT * value) = 0;
    virtual HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, VARIANT value) = 0;
    virtual HRESULT STDMETHODCALLTYPE removeAttribute(BSTR name) = 0;
    virtual HRESULT STDMETHODCALLTYPE getAttributeNode(BSTR name, IXMLDOMAttribute * *attributeNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE setAttributeNode(IXMLDOMAttribute * DOMAttribute,
                                                       IXMLDOMAttribute * *attributeNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE removeAttributeNode(IXMLDOMAttribute * DOMAttribute,
                                                          IXMLDOMAttribute * *attributeNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE getElementsByTagName(BSTR tagName, IXMLDOMNodeList * *resultList) = 0;
    virtual HRESULT STDMETHODCALLTYPE normalize(void) = 0;
};

MIDL_INTERFACE("3EFAA426-272F-11D2-836F-0000F87A7782")
IXMLDOMParseError : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_errorCode(LONG * errorCode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_url(BSTR * urlString) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_reason(BSTR * reasonString) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_srcText(BSTR * sourceString) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_line(LONG * lineNumber) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_linepos(LONG * linePosition) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_filepos(LONG * filePosition) = 0;
};

#endif  // __msxml2_h__
