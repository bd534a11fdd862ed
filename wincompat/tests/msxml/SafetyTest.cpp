// Validation and the refusals that protect the process: DTD rules, external
// entities, entity expansion, nesting depth, bad encodings.
#include "DomTestSupport.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace wincompat_test;

namespace {

const CLSID kDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};

// A local file whose content must never show up in a parsed document.
class SecretFile {
public:
    SecretFile() {
        char pattern[] = "/tmp/dom_secret_XXXXXX";
        int fd = mkstemp(pattern);
        path_ = pattern;
        close(fd);
        std::ofstream(path_) << "TOP-SECRET";
        std::ofstream(path_ + ".dtd") << "<!ELEMENT a (#PCDATA)><!ENTITY secret 'TOP-SECRET'>";
    }
    ~SecretFile() {
        std::remove(path_.c_str());
        std::remove((path_ + ".dtd").c_str());
    }
    std::u16string path() const { return std::u16string(path_.begin(), path_.end()); }

private:
    std::string path_;
};

bool Loads(IXMLDOMDocument2* doc, const std::u16string& xml) {
    Bstr text(xml);
    VARIANT_BOOL ok = VARIANT_TRUE;
    HRESULT hr = doc->loadXML(text.get(), &ok);
    EXPECT_EQ(ok ? S_OK : S_FALSE, hr);
    return ok == VARIANT_TRUE;
}

void ExpectEmptyAfterFailure(IXMLDOMDocument2* doc) {
    Ref<IXMLDOMElement> root;
    EXPECT_EQ(S_FALSE, doc->get_documentElement(root.out()));
    EXPECT_FALSE(root);
    EXPECT_NE(0, ParseErrorCode(doc));
    EXPECT_FALSE(ParseReason(doc).empty());
}

TEST(DomValidation, ADocumentIsValidatedAgainstTheDtdItDeclares) {
    const std::u16string dtd = u"<!DOCTYPE a [<!ELEMENT a (b)><!ELEMENT b (#PCDATA)><!ATTLIST b n CDATA #REQUIRED>]>";
    Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
    EXPECT_TRUE(Loads(doc.get(), dtd + u"<a><b n='1'>x</b></a>"));
    EXPECT_FALSE(Loads(doc.get(), dtd + u"<a><b>missing attribute</b></a>"));
    ExpectEmptyAfterFailure(doc.get());
    EXPECT_FALSE(Loads(doc.get(), dtd + u"<a><c/></a>"));
    EXPECT_FALSE(Loads(doc.get(), dtd + u"<a><b n='1'/><b n='2'/></a>"));
}

TEST(DomValidation, WithoutValidationADocumentThatBreaksItsDtdLoads) {
    Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
    EXPECT_EQ(S_OK, doc->put_validateOnParse(VARIANT_FALSE));
    EXPECT_TRUE(Loads(doc.get(), u"<!DOCTYPE a [<!ELEMENT a EMPTY>]><a><b/></a>"));
}

TEST(DomValidation, ADocumentWithoutADtdIsNotHeldToOne) {
    Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
    EXPECT_TRUE(Loads(doc.get(), u"<anything><goes/></anything>"));
}

TEST(DomValidation, ProhibitDtdRefusesEveryDocumentWithADtd) {
    Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
    Bstr name(u"ProhibitDTD");
    Variant on = Variant::Bool(true);
    ASSERT_EQ(S_OK, doc->setProperty(name.get(), on.get()));
    EXPECT_FALSE(Loads(doc.get(), u"<!DOCTYPE a [<!ELEMENT a EMPTY>]><a/>"));
    ExpectEmptyAfterFailure(doc.get());
    EXPECT_EQ(u"DTD is prohibited.", ParseReason(doc.get()));
    EXPECT_FALSE(Loads(doc.get(), u"<!DOCTYPE a><a/>"));
    EXPECT_TRUE(Loads(doc.get(), u"<a/>"));
    // The 6.0 document prohibits DTDs unless told otherwise.
    Ref<IXMLDOMDocument2> v6 = NewDocument(kDomDocument60);
    EXPECT_FALSE(Loads(v6.get(), u"<!DOCTYPE a [<!ELEMENT a EMPTY>]><a/>"));
}

TEST(DomExternalEntities, ALocalFileIsNeverRead) {
    SecretFile secret;
    for (bool validate : {true, false}) {
        Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
        doc->put_validateOnParse(validate ? VARIANT_TRUE : VARIANT_FALSE);
        doc->put_resolveExternals(VARIANT_TRUE);  // asked for, never done
        for (const std::u16string& reference : {secret.path(), u"file://" + secret.path()}) {
            std::u16string xml =
                u"<!DOCTYPE a [<!ELEMENT a (#PCDATA)><!ENTITY x SYSTEM '" + reference + u"'>]><a>&x;</a>";
            if (Loads(doc.get(), xml)) {
                EXPECT_EQ(std::u16string::npos, XmlOf(doc.get()).find(u"TOP-SECRET"));
                EXPECT_EQ(u"", TextOf(Root(doc.get()).get()));
            } else {
                ExpectEmptyAfterFailure(doc.get());
            }
        }
    }
}

TEST(DomExternalEntities, ParameterEntitiesAndExternalDtdsAreNeverRead) {
    SecretFile secret;
    Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
    std::u16string dtdPath = secret.path() + u".dtd";
    // The external DTD would declare the entity; it is not read, so the
    // reference stays undeclared and the document does not load.
    EXPECT_FALSE(Loads(doc.get(), u"<!DOCTYPE a SYSTEM '" + dtdPath + u"'><a>&secret;</a>"));
    EXPECT_FALSE(Loads(doc.get(), u"<!DOCTYPE a [<!ENTITY % p SYSTEM '" + dtdPath + u"'>%p;]><a>&secret;</a>"));
    doc->put_validateOnParse(VARIANT_FALSE);
    if (Loads(doc.get(), u"<!DOCTYPE a [<!ENTITY % p SYSTEM '" + dtdPath + u"'>%p;]><a/>")) {
        EXPECT_EQ(std::u16string::npos, XmlOf(doc.get()).find(u"TOP-SECRET"));
    }
}

TEST(DomExternalEntities, NetworkEntitiesAreNeverFetched) {
    // Port 9 (discard) on this machine: a fetch would fail slowly or oddly;
    // the refusal is immediate and the content stays absent.
    Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
    for (const char16_t* url : {u"http://127.0.0.1:9/x", u"https://127.0.0.1:9/x", u"ftp://127.0.0.1:9/x"}) {
        std::u16string xml = u"<!DOCTYPE a [<!ENTITY x SYSTEM '" + std::u16string(url) + u"'>]><a>&x;</a>";
        if (Loads(doc.get(), xml)) {
            EXPECT_EQ(u"", TextOf(Root(doc.get()).get()));
        }
        EXPECT_FALSE(Loads(doc.get(), u"<!DOCTYPE a SYSTEM '" + std::u16string(url) + u"'><a/>"));
    }
}

TEST(DomEntityExpansion, BillionLaughsFailsToLoad) {
    std::u16string xml = u"<!DOCTYPE lolz [<!ENTITY lol0 'lollollollollollollollollollol'>";
    for (int level = 1; level <= 9; ++level) {
        xml += u"<!ENTITY lol" + std::u16string(1, static_cast<char16_t>(u'0' + level)) + u" '";
        for (int k = 0; k < 10; ++k) xml += u"&lol" + std::u16string(1, static_cast<char16_t>(u'0' + level - 1)) + u";";
        xml += u"'>";
    }
    xml += u"]><lolz>&lol9;</lolz>";
    for (bool validate : {true, false}) {
        Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
        doc->put_validateOnParse(validate ? VARIANT_TRUE : VARIANT_FALSE);
        EXPECT_FALSE(Loads(doc.get(), xml));
        ExpectEmptyAfterFailure(doc.get());
    }
}

TEST(DomEntityExpansion, ManyReferencesToALargeEntityFailToLoad) {
    // 100 KB of text referenced 40000 times: 4 GB once read as text.
    std::u16string xml = u"<!DOCTYPE a [<!ENTITY x '" + std::u16string(100000, u'a') + u"'>]><a>";
    for (int i = 0; i < 40000; ++i) xml += u"&x;";
    xml += u"</a>";
    for (bool validate : {true, false}) {
        Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
        doc->put_validateOnParse(validate ? VARIANT_TRUE : VARIANT_FALSE);
        EXPECT_FALSE(Loads(doc.get(), xml));
        ExpectEmptyAfterFailure(doc.get());
    }
    // The same through an attribute value.
    std::u16string attribute = u"<!DOCTYPE a [<!ENTITY x '" + std::u16string(100000, u'a') + u"'>]><a v='";
    for (int i = 0; i < 40000; ++i) attribute += u"&x;";
    attribute += u"'/>";
    Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
    doc->put_validateOnParse(VARIANT_FALSE);
    EXPECT_FALSE(Loads(doc.get(), attribute));
}

TEST(DomEntityExpansion, ModestInternalEntitiesStillWork) {
    Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
    doc->put_validateOnParse(VARIANT_FALSE);
    ASSERT_TRUE(Loads(doc.get(), u"<!DOCTYPE a [<!ENTITY who 'world'>]><a>hello &who;</a>"));
    EXPECT_EQ(u"hello world", TextOf(Root(doc.get()).get()));
}

TEST(DomNesting, DeepNestingFailsToLoad) {
    std::u16string xml;
    for (int i = 0; i < 100000; ++i) xml += u"<a>";
    for (int i = 0; i < 100000; ++i) xml += u"</a>";
    Ref<IXMLDOMDocument2> doc = NewDocument();
    EXPECT_FALSE(Loads(doc.get(), xml));
    ExpectEmptyAfterFailure(doc.get());
    // Ordinary depth is fine.
    std::u16string shallow;
    for (int i = 0; i < 100; ++i) shallow += u"<a>";
    for (int i = 0; i < 100; ++i) shallow += u"</a>";
    EXPECT_TRUE(Loads(doc.get(), shallow));
}

TEST(DomLargeDocuments, ATextNodeOverTenMegabytesLoads) {
    const size_t size = 10 * 1024 * 1024 + 17;
    Ref<IXMLDOMDocument2> doc = NewDocument();
    ASSERT_TRUE(Loads(doc.get(), u"<a><b>" + std::u16string(size, u'A') + u"</b></a>"));
    EXPECT_EQ(size, TextOf(Root(doc.get()).get()).size());
}

TEST(DomLargeDocuments, ALargeTextNodeDoesNotLiftTheOtherBounds) {
    const std::u16string big(10 * 1024 * 1024 + 17, u'A');
    Ref<IXMLDOMDocument2> doc = NewDocument();
    std::u16string deep;
    for (int i = 0; i < 300; ++i) deep += u"<a>";
    deep += big;
    for (int i = 0; i < 300; ++i) deep += u"</a>";
    EXPECT_FALSE(Loads(doc.get(), deep));
    ExpectEmptyAfterFailure(doc.get());
    EXPECT_FALSE(Loads(doc.get(), u"<!DOCTYPE a [<!ENTITY x 'x'>]><a>" + big + u"</a>"));
    // The source text of the error is a window of the long line, not all of it.
    Ref<IXMLDOMParseError> error;
    ASSERT_EQ(S_OK, doc->get_parseError(error.out()));
    Bstr source;
    EXPECT_EQ(S_OK, error->get_srcText(source.out()));
    EXPECT_FALSE(source.text().empty());
    EXPECT_LE(source.text().size(), 1024u);
}

TEST(DomEncoding, InvalidUtf8InAFileFailsWithAParseError) {
    char pattern[] = "/tmp/dom_badutf8_XXXXXX";
    int fd = mkstemp(pattern);
    close(fd);
    std::ofstream(pattern, std::ios::binary) << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>ok \xC3\x28 \xFF</a>";
    Ref<IXMLDOMDocument2> doc = NewDocument();
    Variant source(std::u16string(pattern, pattern + sizeof pattern - 1));
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(S_FALSE, doc->load(source.get(), &ok));
    EXPECT_EQ(VARIANT_FALSE, ok);
    ExpectEmptyAfterFailure(doc.get());
    Ref<IXMLDOMParseError> error;
    ASSERT_EQ(S_OK, doc->get_parseError(error.out()));
    LONG line = 0;
    error->get_line(&line);
    EXPECT_EQ(1, line);
    std::remove(pattern);
}

TEST(DomEncoding, AnEmptyFileFailsToLoad) {
    char pattern[] = "/tmp/dom_empty_XXXXXX";
    close(mkstemp(pattern));
    Ref<IXMLDOMDocument2> doc = NewDocument();
    Variant source(std::u16string(pattern, pattern + sizeof pattern - 1));
    VARIANT_BOOL ok = VARIANT_TRUE;
    EXPECT_EQ(S_FALSE, doc->load(source.get(), &ok));
    EXPECT_EQ(static_cast<LONG>(0xC00CE558), ParseErrorCode(doc.get()));
    std::remove(pattern);
}

}  // namespace
