// The DOM document: loading, properties, node creation.
#include "common/CaseCompare.h"
#include "msxml/DomObjects.h"
#include "msxml/Text.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace wincompat::msxml {
namespace {

constexpr LONG kReadyStateCompleted = 4;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

int HexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// "file:" URLs name local files: file:///path, file://localhost/path, file:/path.
bool FileUrlToPath(const std::u16string& url, std::u16string& path) {
    std::u16string rest = url.substr(5);
    if (rest.compare(0, 2, u"//") == 0) {
        size_t slash = rest.find(u'/', 2);
        std::u16string host = rest.substr(2, slash == std::u16string::npos ? std::u16string::npos : slash - 2);
        if (!host.empty() && host != u"localhost") return false;  // another machine: never fetched
        rest = slash == std::u16string::npos ? u"/" : rest.substr(slash);
    }
    path.clear();
    for (size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] == u'%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 && HexValue(rest[i + 2]) >= 0) {
            path.push_back(static_cast<char16_t>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2])));
            i += 2;
        } else {
            path.push_back(rest[i]);
        }
    }
    return true;
}

// The URL scheme of `location` ("" for a plain path; one letter is a drive).
std::u16string SchemeOf(const std::u16string& location) {
    size_t colon = location.find(u':');
    if (colon == std::u16string::npos || colon < 2) return {};
    for (size_t i = 0; i < colon; ++i) {
        char16_t c = location[i];
        bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        bool other = (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!letter && !(i > 0 && other)) return {};
    }
    std::u16string scheme = location.substr(0, colon);
    for (char16_t& c : scheme) c = AsciiLower(c);
    return scheme;
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    bytes.clear();
    char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
    return !std::ferror(file.get());
}

bool BoolFromVariant(const VARIANT& value, bool& result) {
    switch (value.vt) {
        case VT_BOOL: result = value.boolVal != VARIANT_FALSE; return true;
        case VT_I2: result = value.iVal != 0; return true;
        case VT_I4: result = value.lVal != 0; return true;
        case VT_INT: result = value.intVal != 0; return true;
        case VT_UI1: result = value.bVal != 0; return true;
        default: return false;
    }
}

HRESULT BstrVariant(const std::u16string& text, VARIANT* out) {
    out->bstrVal = AllocBstr(text);
    if (!out->bstrVal) return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    return S_OK;
}

}  // namespace

DomDocument::DomDocument(DocumentVersion version)
    : tree_(XmlTree::MakeEmpty()),
      prohibitDtd_(version == DocumentVersion::Msxml6),
      selectionLanguage_(version == DocumentVersion::Msxml3 ? u"XSLPattern" : u"XPath") {}

NodeHandle DomDocument::Handle() const {
    TreeRef tree = CurrentTree();
    xmlNodePtr node = reinterpret_cast<xmlNodePtr>(tree->doc());
    return {std::move(tree), node};
}

xmlNodePtr DomDocument::CallNode(TreeRef& held, const TreeRef*& tree) const {
    held = CurrentTree();
    tree = &held;
    return reinterpret_cast<xmlNodePtr>(held->doc());
}

TreeRef DomDocument::CurrentTree() const {
    std::lock_guard<std::mutex> guard(stateLock_);
    return tree_;
}

void* DomDocument::ExtraInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IXMLDOMDocument) || IsEqualIID(riid, IID_IXMLDOMDocument2))
        return static_cast<IXMLDOMDocument2*>(this);
    return nullptr;
}

ParseSettings DomDocument::CurrentParseSettings() const {
    ParseSettings settings;
    settings.validate = validateOnParse_;
    settings.prohibitDtd = prohibitDtd_;
    settings.preserveWhiteSpace = preserveWhiteSpace_;
    return settings;
}

// ---- loading ----

HRESULT DomDocument::FailLoad(const ParseErrorInfo& error, VARIANT_BOOL* isSuccessful) {
    // A failed load leaves an empty document behind, as MSXML does.
    TreeRef empty = XmlTree::MakeEmpty();
    if (!empty) return E_OUTOFMEMORY;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        tree_ = std::move(empty);
        parseError_ = error;
        url_ = error.url;
    }
    if (isSuccessful) *isSuccessful = VARIANT_FALSE;
    return S_FALSE;
}

HRESULT DomDocument::LoadBytes(const char* bytes, size_t length, bool utf8Text, const std::u16string& url,
                               VARIANT_BOOL* isSuccessful) {
    ParseOutcome outcome = ParseXml(bytes, length, utf8Text, CurrentParseSettings(), url);
    if (!outcome.doc) return FailLoad(outcome.error, isSuccessful);
    auto tree = std::make_shared<XmlTree>(outcome.doc.release(), outcome.hasDeclaration);
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        tree_ = std::move(tree);
        parseError_ = ParseErrorInfo{};
        url_ = url;
    }
    if (isSuccessful) *isSuccessful = VARIANT_TRUE;
    return S_OK;
}

HRESULT DomDocument::LoadLocation(const std::u16string& location, VARIANT_BOOL* isSuccessful) {
    std::u16string path = location;
    std::u16string scheme = SchemeOf(location);
    if (scheme == u"file") {
        if (!FileUrlToPath(location, path))
            return FailLoad(
                MakeLoadError(kErrorAccessDenied, u"Access is denied: files on other machines are not read.", location),
                isSuccessful);
    } else if (!scheme.empty()) {
        return FailLoad(MakeLoadError(kErrorAccessDenied,
                                      u"Access is denied: documents are never fetched over a network.", location),
                        isSuccessful);
    }
    std::string pathUtf8, bytes;
    if (path.empty() || !Utf16ToUtf8(path.data(), path.size(), pathUtf8) || pathUtf8.find('\0') != std::string::npos ||
        !ReadWholeFile(pathUtf8, bytes))
        return FailLoad(
            MakeLoadError(kErrorResourceNotFound, u"The system cannot locate the object specified.", location),
            isSuccessful);
    return LoadBytes(bytes.data(), bytes.size(), false, location, isSuccessful);
}

HRESULT DomDocument::load(VARIANT xmlSource, VARIANT_BOOL* isSuccessful) {
    if (isSuccessful) *isSuccessful = VARIANT_FALSE;
    try {
        const VARIANT* source = &xmlSource;
        while (source->vt == (VT_BYREF | VT_VARIANT) && source->pvarVal) source = source->pvarVal;
        if (source->vt == VT_BSTR) return LoadLocation(BstrText(source->bstrVal), isSuccessful);
        if (source->vt == (VT_BYREF | VT_BSTR) && source->pbstrVal)
            return LoadLocation(BstrText(*source->pbstrVal), isSuccessful);
        if (source->vt == (VT_ARRAY | VT_UI1) || (source->vt == (VT_BYREF | VT_ARRAY | VT_UI1) && source->pparray)) {
            SAFEARRAY* array = source->vt & VT_BYREF ? *source->pparray : source->parray;
            if (!array || SafeArrayGetDim(array) != 1)
                return DocFail(E_INVALIDARG, u"Only a one-dimensional byte array loads.");
            void* data = nullptr;
            if (FAILED(SafeArrayAccessData(array, &data))) return E_INVALIDARG;
            std::string bytes(static_cast<const char*>(data), array->rgsabound[0].cElements);
            SafeArrayUnaccessData(array);
            return LoadBytes(bytes.data(), bytes.size(), false, u"", isSuccessful);
        }
        return DocFail(E_INVALIDARG, u"The source to load must be a path, a file: URL or a byte array.");
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT DomDocument::loadXML(BSTR bstrXML, VARIANT_BOOL* isSuccessful) {
    if (isSuccessful) *isSuccessful = VARIANT_FALSE;
    try {
        // The string is UTF-16 whatever its declaration says; it reaches
        // libxml2 as UTF-8, with the declared encoding ignored.
        std::u16string_view text = BstrView(bstrXML);
        std::string utf8;
        if (!Utf16ToUtf8(text.data(), text.size(), utf8))
            return FailLoad(MakeLoadError(kErrorParse, u"An invalid character was found in text content.", u""),
                            isSuccessful);
        return LoadBytes(utf8.data(), utf8.size(), true, u"", isSuccessful);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT DomDocument::get_readyState(LONG* value) {
    if (!value) return E_POINTER;
    *value = kReadyStateCompleted;  // loading is always synchronous
    return S_OK;
}

HRESULT DomDocument::get_parseError(IXMLDOMParseError** errorObj) {
    if (!errorObj) return E_POINTER;
    *errorObj = nullptr;
    ParseErrorInfo info;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        info = parseError_;
    }
    auto* error = new (std::nothrow) ParseErrorObject(std::move(info));
    if (!error) return E_OUTOFMEMORY;
    return HandOut(error, IID_IXMLDOMParseError, reinterpret_cast<void**>(errorObj));
}

HRESULT DomDocument::get_url(BSTR* urlString) {
    if (!urlString) return E_POINTER;
    *urlString = nullptr;
    std::u16string url;
    {
        std::lock_guard<std::mutex> guard(stateLock_);
        url = url_;
    }
    return url.empty() ? S_FALSE : ReturnBstr(url, urlString);
}

HRESULT DomDocument::abort() { return S_OK; }  // nothing ever loads in the background

// ---- settings ----

HRESULT DomDocument::get_async(VARIANT_BOOL* isAsync) {
    if (!isAsync) return E_POINTER;
    *isAsync = async_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

// Asynchronous loading is accepted as a setting; loads complete before they return.
HRESULT DomDocument::put_async(VARIANT_BOOL isAsync) {
    async_ = isAsync != VARIANT_FALSE;
    return S_OK;
}

HRESULT DomDocument::get_validateOnParse(VARIANT_BOOL* isValidating) {
    if (!isValidating) return E_POINTER;
    *isValidating = validateOnParse_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT DomDocument::put_validateOnParse(VARIANT_BOOL isValidating) {
    validateOnParse_ = isValidating != VARIANT_FALSE;
    return S_OK;
}

// Kept as a setting only: external DTDs and entities are never resolved.
HRESULT DomDocument::get_resolveExternals(VARIANT_BOOL* isResolving) {
    if (!isResolving) return E_POINTER;
    *isResolving = resolveExternals_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT DomDocument::put_resolveExternals(VARIANT_BOOL isResolving) {
    resolveExternals_ = isResolving != VARIANT_FALSE;
    return S_OK;
}

HRESULT DomDocument::get_preserveWhiteSpace(VARIANT_BOOL* isPreserving) {
    if (!isPreserving) return E_POINTER;
    *isPreserving = preserveWhiteSpace_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT DomDocument::put_preserveWhiteSpace(VARIANT_BOOL isPreserving) {
    preserveWhiteSpace_ = isPreserving != VARIANT_FALSE;
    return S_OK;
}

HRESULT DomDocument::put_onreadystatechange(VARIANT) { return E_NOTIMPL; }
HRESULT DomDocument::put_ondataavailable(VARIANT) { return E_NOTIMPL; }
HRESULT DomDocument::put_ontransformnode(VARIANT) { return E_NOTIMPL; }

HRESULT DomDocument::setProperty(BSTR name, VARIANT value) {
    std::u16string property = BstrText(name);
    try {
        if (property == u"SelectionNamespaces") {
            if (value.vt != VT_BSTR) return DocFail(E_FAIL, u"SelectionNamespaces takes a string.");
            if (!selector_.SetNamespaces(BstrText(value.bstrVal)))
                return DocFail(E_FAIL, u"SelectionNamespaces property value is invalid.");
            return S_OK;
        }
        if (property == u"SelectionLanguage") {
            std::u16string language = value.vt == VT_BSTR ? BstrText(value.bstrVal) : u"";
            // Queries are evaluated as XPath 1.0 either way; the XSL Pattern
            // queries that MSXML 3.0 users write are XPath-compatible.
            if (language != u"XPath" && language != u"XSLPattern")
                return DocFail(E_FAIL, u"SelectionLanguage must be XPath or XSLPattern.");
            selectionLanguage_ = language;
            return S_OK;
        }
        if (property == u"ProhibitDTD") {
            bool prohibit = false;
            if (!BoolFromVariant(value, prohibit)) return DocFail(E_INVALIDARG, u"ProhibitDTD takes a boolean.");
            prohibitDtd_ = prohibit;
            return S_OK;
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return DocFail(E_FAIL, u"Property name is invalid.");
}

// An unknown name leaves `value` as it was, as MSXML does.
HRESULT DomDocument::getProperty(BSTR name, VARIANT* value) {
    if (!value) return E_INVALIDARG;
    std::u16string property = BstrText(name);
    if (property == u"SelectionNamespaces") {
        VariantInit(value);
        return BstrVariant(selector_.Namespaces(), value);
    }
    if (property == u"SelectionLanguage") {
        VariantInit(value);
        return BstrVariant(selectionLanguage_, value);
    }
    if (property == u"ProhibitDTD") {
        VariantInit(value);
        value->vt = VT_BOOL;
        value->boolVal = prohibitDtd_ ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    return DocFail(E_FAIL, u"Property name is invalid.");
}

// ---- content ----

HRESULT DomDocument::get_documentElement(IXMLDOMElement** DOMElement) {
    if (!DOMElement) return E_POINTER;
    NodeHandle h = Handle();
    return WrapNode(this, h.tree, xmlDocGetRootElement(h.tree->doc()), IID_IXMLDOMElement,
                    reinterpret_cast<void**>(DOMElement));
}

HRESULT DomDocument::putref_documentElement(IXMLDOMElement* DOMElement) {
    IXMLDOMElement* current = nullptr;
    HRESULT hr = get_documentElement(&current);
    if (FAILED(hr)) return hr;
    if (current) {
        hr = replaceChild(DOMElement, current, nullptr);
        current->Release();
        return hr;
    }
    return appendChild(DOMElement, nullptr);
}

HRESULT DomDocument::createElement(BSTR tagName, IXMLDOMElement** element) {
    if (!element) return E_POINTER;
    *element = nullptr;
    std::u16string chars = BstrText(tagName);
    std::string name;
    if (!Utf16ToUtf8(chars.data(), chars.size(), name) ||
        xmlValidateQName(reinterpret_cast<const xmlChar*>(name.c_str()), 0) != 0)
        return DocFail(E_FAIL, u"'" + chars + u"' is not a valid element name.");
    NodeHandle h = Handle();
    // MSXML's createElement takes the name as given, without a namespace.
    xmlNodePtr node = xmlNewDocNode(h.tree->doc(), nullptr, reinterpret_cast<const xmlChar*>(name.c_str()), nullptr);
    if (!node) return E_OUTOFMEMORY;
    h.tree->KeepDetached(node);
    return WrapNode(this, h.tree, node, IID_IXMLDOMElement, reinterpret_cast<void**>(element));
}

HRESULT DomDocument::createNode(VARIANT Type, BSTR name, BSTR namespaceURI, IXMLDOMNode** node) {
    if (!node) return E_POINTER;
    *node = nullptr;
    bool isElement = (Type.vt == VT_I4 && Type.lVal == NODE_ELEMENT) ||
                     (Type.vt == VT_I2 && Type.iVal == NODE_ELEMENT) ||
                     (Type.vt == VT_INT && Type.intVal == NODE_ELEMENT) ||
                     (Type.vt == VT_BSTR && BstrText(Type.bstrVal) == u"element");
    if (!isElement) return E_NOTIMPL;
    std::u16string nameChars = BstrText(name), uriChars = BstrText(namespaceURI);
    std::string qualified, uri;
    if (!Utf16ToUtf8(nameChars.data(), nameChars.size(), qualified) ||
        !Utf16ToUtf8(uriChars.data(), uriChars.size(), uri) ||
        xmlValidateQName(reinterpret_cast<const xmlChar*>(qualified.c_str()), 0) != 0)
        return DocFail(E_FAIL, u"'" + nameChars + u"' is not a valid element name.");
    NodeHandle h = Handle();
    std::string prefix, local = qualified;
    if (size_t colon = qualified.find(':'); colon != std::string::npos) {
        prefix = qualified.substr(0, colon);
        local = qualified.substr(colon + 1);
    }
    xmlNodePtr created =
        xmlNewDocNode(h.tree->doc(), nullptr, reinterpret_cast<const xmlChar*>(local.c_str()), nullptr);
    if (!created) return E_OUTOFMEMORY;
    h.tree->KeepDetached(created);
    if (!uri.empty()) {
        // The element declares its own namespace, so it serialises correctly anywhere.
        xmlNsPtr ns = xmlNewNs(created, reinterpret_cast<const xmlChar*>(uri.c_str()),
                               prefix.empty() ? nullptr : reinterpret_cast<const xmlChar*>(prefix.c_str()));
        if (!ns) return E_OUTOFMEMORY;
        xmlSetNs(created, ns);
    } else if (!prefix.empty()) {
        return DocFail(E_FAIL, u"A prefixed name needs a namespace URI.");
    }
    return WrapNode(this, h.tree, created, IID_IXMLDOMNode, reinterpret_cast<void**>(node));
}

HRESULT DomDocument::getElementsByTagName(BSTR tagName, IXMLDOMNodeList** resultList) {
    return ElementsByTagName(this, Handle(), tagName, resultList);
}

// ---- not offered by this DOM ----

HRESULT DomDocument::get_doctype(IXMLDOMDocumentType** documentType) {
    if (documentType) *documentType = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::get_implementation(IXMLDOMImplementation** impl) {
    if (impl) *impl = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::createDocumentFragment(IXMLDOMDocumentFragment** docFrag) {
    if (docFrag) *docFrag = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::createTextNode(BSTR, IXMLDOMText** text) {
    if (text) *text = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::createComment(BSTR, IXMLDOMComment** comment) {
    if (comment) *comment = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::createCDATASection(BSTR, IXMLDOMCDATASection** cdata) {
    if (cdata) *cdata = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::createProcessingInstruction(BSTR, BSTR, IXMLDOMProcessingInstruction** pi) {
    if (pi) *pi = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::createAttribute(BSTR, IXMLDOMAttribute** attribute) {
    if (attribute) *attribute = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::createEntityReference(BSTR, IXMLDOMEntityReference** entityRef) {
    if (entityRef) *entityRef = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::nodeFromID(BSTR, IXMLDOMNode** node) {
    if (node) *node = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::save(VARIANT) { return E_NOTIMPL; }
HRESULT DomDocument::get_namespaces(IXMLDOMSchemaCollection** namespaceCollection) {
    if (namespaceCollection) *namespaceCollection = nullptr;
    return E_NOTIMPL;
}
HRESULT DomDocument::get_schemas(VARIANT* otherCollection) {
    if (otherCollection) VariantInit(otherCollection);
    return E_NOTIMPL;
}
HRESULT DomDocument::putref_schemas(VARIANT) { return E_NOTIMPL; }
HRESULT DomDocument::validate(IXMLDOMParseError** errorObj) {
    if (errorObj) *errorObj = nullptr;
    return E_NOTIMPL;
}

// ---- creation ----

HRESULT CreateDomDocument(DocumentVersion version, IUnknown* outer, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    EnsureLibxmlInitialised();
    try {
        auto* document = new DomDocument(version);
        if (!document->Initialised()) {
            document->Release();
            return E_OUTOFMEMORY;
        }
        return HandOut(document, riid, out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace wincompat::msxml
