// loadXML of a 5 KB and a 500 KB event document and selectSingleNode with a
// prefixed child name, each next to libxml2 doing the same work on its own:
// xmlReadMemory of the same UTF-8 bytes, and XPath evaluation of the same
// expression from the same context node.
#include <windows.h>
#include <msxml2.h>

#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <string>

namespace {

const char kNamespace[] = "urn:example:zelk:events";

// An event document of about `targetBytes`: a sensor description followed by
// as many detection events as it takes.
std::string EventDocument(size_t targetBytes) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<zelk:Events xmlns:zelk=\"";
    xml += kNamespace;
    xml +=
        "\">\n  <zelk:CreateTime>2013-03-08T13:47:20.123Z</zelk:CreateTime>\n"
        "  <zelk:Analyzer><zelk:Sensor id=\"12\"><zelk:Name>sensor-01</zelk:Name>"
        "<zelk:Dhcp>1</zelk:Dhcp><zelk:Type>DETECTION</zelk:Type></zelk:Sensor></zelk:Analyzer>\n";
    for (int n = 0; xml.size() < targetBytes; ++n) {
        std::string id = std::to_string(n);
        xml +=
            "  <zelk:Event><zelk:DetectTime>2013-03-08T13:47:20.123Z</zelk:DetectTime>"
            "<zelk:Source><zelk:Node><zelk:Name>host-" +
            id +
            ".example.com</zelk:Name>"
            "<zelk:Address>10.1." +
            std::to_string(n % 250) +
            ".3</zelk:Address>"
            "<zelk:MACAddress>00:1A:2B:3C:4D:5E</zelk:MACAddress>"
            "<zelk:OSType><zelk:Platform>Windows</zelk:Platform></zelk:OSType></zelk:Node></zelk:Source>"
            "<zelk:Classification><zelk:EventClassification>host.detected.dhcp</zelk:EventClassification>"
            "</zelk:Classification></zelk:Event>\n";
    }
    xml += "</zelk:Events>\n";
    return xml;
}

const std::string& Document(size_t size) {
    static const std::string small = EventDocument(5 * 1024);
    static const std::string large = EventDocument(500 * 1024);
    return size == 5 ? small : large;
}

BSTR Utf16Copy(const std::string& ascii) {
    std::u16string text(ascii.begin(), ascii.end());
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

IXMLDOMDocument2* NewDocument() {
    IXMLDOMDocument2* doc = nullptr;
    CoCreateInstance(CLSID_FreeThreadedDOMDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument2,
                     reinterpret_cast<void**>(&doc));
    if (doc) {
        doc->put_async(VARIANT_FALSE);
        doc->put_validateOnParse(VARIANT_TRUE);
    }
    return doc;
}

// ---- loading ----

void BM_DomLoadXml(benchmark::State& state) {
    const std::string& bytes = Document(static_cast<size_t>(state.range(0)));
    BSTR text = Utf16Copy(bytes);
    for (auto _ : state) {
        IXMLDOMDocument2* doc = NewDocument();
        VARIANT_BOOL ok = VARIANT_FALSE;
        doc->loadXML(text, &ok);
        if (ok != VARIANT_TRUE) state.SkipWithError("loadXML failed");
        doc->Release();
    }
    SysFreeString(text);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    state.SetLabel(std::to_string(bytes.size()) + " bytes");
}
BENCHMARK(BM_DomLoadXml)->Arg(5)->Arg(500);

void BM_LibxmlReadMemory(benchmark::State& state) {
    const std::string& bytes = Document(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                      XML_PARSE_NONET | XML_PARSE_NOBLANKS);
        if (!doc) state.SkipWithError("xmlReadMemory failed");
        xmlFreeDoc(doc);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    state.SetLabel(std::to_string(bytes.size()) + " bytes");
}
BENCHMARK(BM_LibxmlReadMemory)->Arg(5)->Arg(500);

// ---- lookups ----

void BM_DomSelectSingleNode(benchmark::State& state) {
    IXMLDOMDocument2* doc = NewDocument();
    BSTR text = Utf16Copy(Document(5));
    VARIANT_BOOL ok = VARIANT_FALSE;
    doc->loadXML(text, &ok);
    SysFreeString(text);
    BSTR property = SysAllocString(u"SelectionNamespaces");
    std::string binding = std::string("xmlns:zelk='") + kNamespace + "'";
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = Utf16Copy(binding);
    doc->setProperty(property, value);
    VariantClear(&value);
    SysFreeString(property);
    IXMLDOMElement* root = nullptr;
    doc->get_documentElement(&root);
    BSTR query = SysAllocString(u"zelk:Analyzer");
    for (auto _ : state) {
        IXMLDOMNode* node = nullptr;
        if (root->selectSingleNode(query, &node) != S_OK) state.SkipWithError("no match");
        node->Release();
    }
    SysFreeString(query);
    root->Release();
    doc->Release();
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DomSelectSingleNode);

struct XPathFixture {
    xmlDocPtr doc;
    xmlXPathContextPtr context;
    XPathFixture() {
        const std::string& bytes = Document(5);
        doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                            XML_PARSE_NONET | XML_PARSE_NOBLANKS);
        context = xmlXPathNewContext(doc);
        xmlXPathRegisterNs(context, BAD_CAST "zelk", BAD_CAST kNamespace);
        context->node = xmlDocGetRootElement(doc);
    }
    ~XPathFixture() {
        xmlXPathFreeContext(context);
        xmlFreeDoc(doc);
    }
};

// libxml2 compiling and evaluating the expression on every lookup.
void BM_LibxmlXPathEval(benchmark::State& state) {
    XPathFixture fixture;
    for (auto _ : state) {
        xmlXPathObjectPtr result = xmlXPathEval(BAD_CAST "zelk:Analyzer", fixture.context);
        if (!result || !result->nodesetval || result->nodesetval->nodeNr != 1) state.SkipWithError("no match");
        xmlXPathFreeObject(result);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LibxmlXPathEval);

// libxml2 evaluating an expression compiled once: the floor for any wrapper.
void BM_LibxmlXPathCompiledEval(benchmark::State& state) {
    XPathFixture fixture;
    xmlXPathCompExprPtr compiled = xmlXPathCompile(BAD_CAST "zelk:Analyzer");
    for (auto _ : state) {
        xmlXPathObjectPtr result = xmlXPathCompiledEval(compiled, fixture.context);
        if (!result || !result->nodesetval || result->nodesetval->nodeNr != 1) state.SkipWithError("no match");
        xmlXPathFreeObject(result);
    }
    xmlXPathFreeCompExpr(compiled);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LibxmlXPathCompiledEval);

}  // namespace

BENCHMARK_MAIN();
