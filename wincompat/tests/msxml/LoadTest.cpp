// Loading from strings, files and byte arrays; parse errors.
#include "DomTestSupport.h"

#include <fstream>
#include <string>

#include "support/TempFolder.h"

using namespace wincompat_test;

namespace {

// A file in a fresh folder, removed with the object.
class TempFile {
public:
    explicit TempFile(const std::string& bytes, const std::string& name = "doc.xml") : path_(folder_.File(name)) {
        std::ofstream(path_, std::ios::binary) << bytes;
    }
    std::u16string path() const { return std::u16string(path_.begin(), path_.end()); }

private:
    wincompat_test::TempFolder folder_{"dom_test"};
    std::string path_;
};

HRESULT Load(IXMLDOMDocument2* doc, const std::u16string& location, VARIANT_BOOL& ok) {
    Variant source(location);
    ok = VARIANT_TRUE;
    return doc->load(source.get(), &ok);
}

TEST(DomLoadXml, ParsesTheStringAndGivesTheDocumentElement) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<root><child a='1'>x</child></root>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    ASSERT_TRUE(root);
    EXPECT_EQ(u"root", NameOf(root.get()));
    EXPECT_EQ(0, ParseErrorCode(doc.get()));
}

TEST(DomLoadXml, AnEncodingDeclarationDoesNotOverrideTheStringItself) {
    // The text is UTF-16 whatever it declares; characters outside ASCII survive.
    for (const char16_t* declaration : {u"UTF-16", u"ISO-8859-1", u"UTF-8", u"windows-1252"}) {
        Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<?xml version=\"1.0\" encoding=\"" + std::u16string(declaration) +
                                                   u"\"?><name>Gr\u00FC\u00DFe \u20AC \U0001F600</name>");
        Ref<IXMLDOMElement> root = Root(doc.get());
        ASSERT_TRUE(root) << Narrow(declaration);
        EXPECT_EQ(u"Gr\u00FC\u00DFe \u20AC \U0001F600", TextOf(root.get())) << Narrow(declaration);
    }
}

TEST(DomLoadXml, MalformedTextFailsWithAReasonAndLeavesTheDocumentEmpty) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<good/>");
    EXPECT_FALSE(LoadXml(doc.get(), u"<root>\n  <open>\n</root>"));
    Ref<IXMLDOMElement> root;
    EXPECT_EQ(S_FALSE, doc->get_documentElement(root.out()));
    EXPECT_FALSE(root);
    EXPECT_NE(0, ParseErrorCode(doc.get()));
    EXPECT_FALSE(ParseReason(doc.get()).empty());

    Ref<IXMLDOMParseError> error;
    ASSERT_EQ(S_OK, doc->get_parseError(error.out()));
    LONG line = 0;
    EXPECT_EQ(S_OK, error->get_line(&line));
    EXPECT_EQ(3, line);
    Bstr source;
    EXPECT_EQ(S_OK, error->get_srcText(source.out()));
    EXPECT_EQ(u"</root>", source.text());
}

TEST(DomLoadXml, EmptyAndNullInputFailToLoad) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    EXPECT_FALSE(LoadXml(doc.get(), u""));
    EXPECT_EQ(static_cast<LONG>(0xC00CE558), ParseErrorCode(doc.get()));
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(S_FALSE, doc->loadXML(nullptr, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_FALSE(LoadXml(doc.get(), u"   "));
    EXPECT_FALSE(LoadXml(doc.get(), u"just text"));
}

TEST(DomLoadXml, AnUnpairedSurrogateFailsToLoad) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    std::u16string text = u"<a>x</a>";
    text[3] = 0xD800;
    EXPECT_FALSE(LoadXml(doc.get(), text));
    EXPECT_NE(0, ParseErrorCode(doc.get()));
}

TEST(DomLoadXml, SuccessAfterFailureClearsTheParseError) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    EXPECT_FALSE(LoadXml(doc.get(), u"<a>"));
    EXPECT_TRUE(LoadXml(doc.get(), u"<a/>"));
    Ref<IXMLDOMParseError> error;
    ASSERT_EQ(S_OK, doc->get_parseError(error.out()));
    LONG code = -1;
    EXPECT_EQ(S_FALSE, error->get_errorCode(&code));
    EXPECT_EQ(0, code);
    Bstr reason;
    EXPECT_EQ(S_FALSE, error->get_reason(reason.out()));
    EXPECT_TRUE(reason.isNull());
}

LONG ChildCount(IXMLDOMNode* node) {
    Ref<IXMLDOMNodeList> children;
    EXPECT_EQ(S_OK, node->get_childNodes(children.out()));
    LONG count = -1;
    if (children) {
        EXPECT_EQ(S_OK, children->get_length(&count));
    }
    return count;
}

TEST(DomLoadXml, WhiteSpaceBetweenElementsIsDroppedUnlessPreserved) {
    const std::u16string xml = u"<a>\n  <b> x </b>\n</a>";
    Ref<IXMLDOMDocument2> doc = LoadedDocument(xml);
    EXPECT_EQ(1, ChildCount(Root(doc.get()).get()));
    EXPECT_EQ(u"<a><b> x </b></a>", XmlOf(Root(doc.get()).get()));
    EXPECT_EQ(S_OK, doc->put_preserveWhiteSpace(VARIANT_TRUE));
    ASSERT_TRUE(LoadXml(doc.get(), xml));
    EXPECT_EQ(3, ChildCount(Root(doc.get()).get()));
    EXPECT_EQ(u"\n   x \n", TextOf(Root(doc.get()).get()));
}

TEST(DomLoadFile, LoadsAPathAndAFileUrl) {
    TempFile file("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root><v>\xC3\xA9t\xC3\xA9</v></root>\n");
    Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument);
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, Load(doc.get(), file.path(), ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    EXPECT_EQ(u"\u00E9t\u00E9", TextOf(Root(doc.get()).get()));

    Ref<IXMLDOMDocument2> viaUrl = NewDocument(CLSID_DOMDocument);
    EXPECT_EQ(S_OK, Load(viaUrl.get(), u"file://" + file.path(), ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
    Bstr url;
    EXPECT_EQ(S_OK, viaUrl->get_url(url.out()));
    EXPECT_EQ(u"file://" + file.path(), url.text());
}

TEST(DomLoadFile, PercentEscapesInAFileUrlAreDecoded) {
    TempFile file("<spaced/>", "with space.xml");
    std::u16string path = file.path();
    std::u16string escaped = path.substr(0, path.find(u' ')) + u"%20" + path.substr(path.find(u' ') + 1);
    Ref<IXMLDOMDocument2> doc = NewDocument();
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, Load(doc.get(), u"file://localhost" + escaped, ok));
    EXPECT_EQ(VARIANT_TRUE, ok);
}

TEST(DomLoadFile, TheFileDecidesItsEncoding) {
    // Latin-1 bytes with a declaration saying so.
    TempFile file("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><v>\xE9</v>");
    Ref<IXMLDOMDocument2> doc = NewDocument();
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, Load(doc.get(), file.path(), ok));
    EXPECT_EQ(u"\u00E9", TextOf(Root(doc.get()).get()));
}

TEST(DomLoadFile, MissingFilesAndDirectoriesFailWithNotFound) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(S_FALSE, Load(doc.get(), u"/nonexistent/dir/doc.xml", ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    EXPECT_EQ(static_cast<LONG>(0x800C0005), ParseErrorCode(doc.get()));
    EXPECT_EQ(S_FALSE, Load(doc.get(), u"/tmp", ok));
    EXPECT_EQ(S_FALSE, Load(doc.get(), u"", ok));
}

TEST(DomLoadFile, NetworkLocationsAreNeverFetched) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    VARIANT_BOOL ok = VARIANT_TRUE;
    for (const char16_t* url : {u"http://127.0.0.1:9/doc.xml", u"https://example.com/doc.xml", u"ftp://host/doc.xml",
                                u"file://otherhost/share/doc.xml"}) {
        EXPECT_EQ(S_FALSE, Load(doc.get(), url, ok)) << Narrow(url);
        EXPECT_EQ(VARIANT_FALSE, ok);
        EXPECT_EQ(static_cast<LONG>(E_ACCESSDENIED), ParseErrorCode(doc.get()));
    }
}

TEST(DomLoadFile, ByteArraysLoadAsDocuments) {
    const std::string bytes = "<?xml version=\"1.0\"?><r>\xE2\x82\xAC</r>";
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    ASSERT_NE(nullptr, array);
    void* data = nullptr;
    ASSERT_EQ(S_OK, SafeArrayAccessData(array, &data));
    std::copy(bytes.begin(), bytes.end(), static_cast<char*>(data));
    SafeArrayUnaccessData(array);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_ARRAY | VT_UI1;
    source.parray = array;
    Ref<IXMLDOMDocument2> doc = NewDocument();
    VARIANT_BOOL ok = VARIANT_FALSE;
    EXPECT_EQ(S_OK, doc->load(source, &ok));
    EXPECT_EQ(u"\u20AC", TextOf(Root(doc.get()).get()));
    VariantClear(&source);
}

TEST(DomLoadFile, OtherSourceTypesAreRejected) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_I4;
    source.lVal = 3;
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(E_INVALIDARG, doc->load(source, &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
}

// Refusals answer E_FAIL, as MSXML's do; a null destination is an invalid argument.
TEST(DomProperties, UnknownPropertiesAndBadValuesAreRefused) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    Bstr unknown(u"NoSuchProperty"), namespaces(u"SelectionNamespaces"), language(u"SelectionLanguage");
    Variant text(u"x");
    EXPECT_EQ(E_FAIL, doc->setProperty(unknown.get(), text.get()));
    EXPECT_FALSE(TakeErrorDescription().empty());
    // An unknown name leaves the destination untouched.
    VARIANT untouched;
    untouched.vt = VT_I4;
    untouched.lVal = 77;
    EXPECT_EQ(E_FAIL, doc->getProperty(unknown.get(), &untouched));
    EXPECT_EQ(VT_I4, untouched.vt);
    EXPECT_EQ(77, untouched.lVal);
    EXPECT_EQ(E_INVALIDARG, doc->getProperty(language.get(), nullptr));
    for (const char16_t* bad : {u"xmlns:a", u"xmlns:a='x", u"xmlns:='x'", u"foo:a='x'", u"xmlns:a='x'junk"}) {
        Variant value{std::u16string(bad)};
        EXPECT_EQ(E_FAIL, doc->setProperty(namespaces.get(), value.get())) << Narrow(bad);
    }
    VARIANT number;
    number.vt = VT_I4;
    number.lVal = 1;
    EXPECT_EQ(E_FAIL, doc->setProperty(namespaces.get(), number));
    EXPECT_EQ(E_FAIL, doc->setProperty(language.get(), number));
    Variant xslt(u"XSLT");
    EXPECT_EQ(E_FAIL, doc->setProperty(language.get(), xslt.get()));
}

// A malformed namespace list is still stored as the value, and binds nothing:
// a prefix that worked before no longer does.
TEST(DomProperties, AMalformedNamespaceListIsKeptAndBindsNoPrefix) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<r xmlns='urn:a'><c/></r>");
    SetProperty(doc.get(), u"SelectionLanguage", u"XPath");
    SetProperty(doc.get(), u"SelectionNamespaces", u"\n\r xmlns:a='urn:a' \t");
    EXPECT_TRUE(SelectOne(doc.get(), u"a:r/a:c"));
    Bstr namespaces(u"SelectionNamespaces");
    const std::u16string bad = u"xmlns:a='urn:a' xmlns:foo=###";
    Variant badValue(bad);
    EXPECT_EQ(E_FAIL, doc->setProperty(namespaces.get(), badValue.get()));
    Variant out;
    EXPECT_EQ(S_OK, doc->getProperty(namespaces.get(), out.out()));
    EXPECT_EQ(bad, out.str());
    Ref<IXMLDOMNode> found;
    Bstr query(u"a:r");
    EXPECT_EQ(E_FAIL, doc->selectSingleNode(query.get(), found.out()));
    // A good list binds again.
    SetProperty(doc.get(), u"SelectionNamespaces", u"xmlns:a='urn:a'");
    EXPECT_TRUE(SelectOne(doc.get(), u"a:r"));
}

}  // namespace
