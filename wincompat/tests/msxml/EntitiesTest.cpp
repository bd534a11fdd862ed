// Internal entities and attribute defaults of a document's own DTD, as the DOM
// reads and selects them; and the bound on what entity references expand to.
#include "DomTestSupport.h"

#include <string>

using namespace wincompat_test;

namespace {

Ref<IXMLDOMDocument2> Parsed(const std::u16string& xml, bool validate) {
    Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
    doc->put_validateOnParse(validate ? VARIANT_TRUE : VARIANT_FALSE);
    Bstr text(xml);
    VARIANT_BOOL ok = VARIANT_FALSE;
    doc->loadXML(text.get(), &ok);
    if (!ok) return Ref<IXMLDOMDocument2>();
    SetProperty(doc.get(), u"SelectionLanguage", u"XPath");
    return doc;
}

std::u16string AttributeText(IXMLDOMNode* element, const char16_t* name) {
    Ref<IXMLDOMElement> e;
    EXPECT_EQ(S_OK, element->QueryInterface(IID_IXMLDOMElement, e.outVoid()));
    Bstr attribute(name);
    Variant value;
    EXPECT_EQ(S_OK, e->getAttribute(attribute.get(), value.out()));
    return value.str();
}

bool Specified(IXMLDOMNode* node) {
    VARIANT_BOOL specified = VARIANT_FALSE;
    EXPECT_EQ(S_OK, node->get_specified(&specified));
    return specified == VARIANT_TRUE;
}

// lol0 is ten characters and each lolN holds ten references to lol(N-1):
// lolN expands to 10^(N+1) characters.
std::u16string LaughsDtd(int levels, const std::u16string& more = u"") {
    std::u16string dtd = u"<!DOCTYPE r [" + more + u"<!ENTITY lol0 'lollollolx'>";
    for (int level = 1; level <= levels; ++level) {
        dtd += u"<!ENTITY lol" + std::u16string(1, static_cast<char16_t>(u'0' + level)) + u" '";
        for (int k = 0; k < 10; ++k) dtd += u"&lol" + std::u16string(1, static_cast<char16_t>(u'0' + level - 1)) + u";";
        dtd += u"'>";
    }
    return dtd + u"]>";
}

TEST(DomEntities, AnAttributeValueReadsAndSelectsWithItsEntitiesExpanded) {
    for (bool validate : {false, true}) {
        const std::u16string declarations =
            validate ? u"<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA #IMPLIED d CDATA #IMPLIED>" : u"";
        Ref<IXMLDOMDocument2> doc =
            Parsed(u"<!DOCTYPE r [" + declarations + u"<!ENTITY e 'x'><!ENTITY ee '&e;-&e;'>]><r a='&e;' d='[&ee;]'/>",
                   validate);
        ASSERT_TRUE(doc) << validate;
        EXPECT_TRUE(SelectOne(doc.get(), u"/r[@a='x']")) << validate;
        EXPECT_TRUE(SelectOne(doc.get(), u"/r[@d='[x-x]']")) << validate;
        Ref<IXMLDOMNode> a = SelectOne(doc.get(), u"/r/@a");
        ASSERT_TRUE(a);
        EXPECT_EQ(u"x", TextOf(a.get()));
        EXPECT_EQ(u"[x-x]", AttributeText(Root(doc.get()).get(), u"d"));
        EXPECT_EQ(u"<r a=\"x\" d=\"[x-x]\"/>", XmlOf(Root(doc.get()).get()));
    }
}

TEST(DomEntities, APolicySectionNamedThroughAnEntityIsFound) {
    Ref<IXMLDOMDocument2> doc = Parsed(
        u"<!DOCTYPE SensorPolicy [<!ELEMENT SensorPolicy (Section*)><!ELEMENT Section (Setting*)>"
        u"<!ELEMENT Setting (#PCDATA)><!ATTLIST Section name CDATA #REQUIRED><!ATTLIST Setting name CDATA #REQUIRED>"
        u"<!ENTITY det 'Detection'>]>"
        u"<SensorPolicy><Section name=\"&det;\"><Setting "
        u"name=\"SubnetScanEnabled\">1</Setting></Section></SensorPolicy>",
        true);
    ASSERT_TRUE(doc);
    Ref<IXMLDOMNode> section = SelectOne(Root(doc.get()).get(), u"Section[@name=\"Detection\"]");
    ASSERT_TRUE(section);
    EXPECT_EQ(u"1", TextOf(SelectOne(section.get(), u"Setting[@name=\"SubnetScanEnabled\"]").get()));
}

TEST(DomEntities, AnEntityAlsoUsedInAnAttributeDefaultReadsInContent) {
    for (bool validate : {false, true}) {
        const std::u16string element = validate ? u"<!ELEMENT r (#PCDATA)>" : u"";
        Ref<IXMLDOMDocument2> doc =
            Parsed(u"<!DOCTYPE r [" + element + u"<!ENTITY e 'x'><!ATTLIST r b CDATA '&e;'>]><r>&e;</r>", validate);
        ASSERT_TRUE(doc) << validate;
        EXPECT_EQ(u"x", TextOf(Root(doc.get()).get())) << validate;
        EXPECT_EQ(u"x", TextOf(SelectOne(doc.get(), u"/r").get())) << validate;
        EXPECT_TRUE(SelectOne(doc.get(), u"/r[@b='x']")) << validate;
    }
}

TEST(DomEntities, AttributeDefaultsOfTheDtdAreSuppliedAndNotSpecified) {
    Ref<IXMLDOMDocument2> doc = Parsed(
        u"<!DOCTYPE r [<!ELEMENT r (i*)><!ELEMENT i EMPTY>"
        u"<!ATTLIST i kind CDATA 'plain' id CDATA #IMPLIED fixed CDATA #FIXED 'f'>]>"
        u"<r><i id='1'/><i id='2' kind='odd'/></r>",
        true);
    ASSERT_TRUE(doc);
    Ref<IXMLDOMNode> first = SelectOne(doc.get(), u"/r/i[@kind='plain']");
    ASSERT_TRUE(first);
    EXPECT_EQ(u"1", AttributeText(first.get(), u"id"));
    EXPECT_EQ(u"f", AttributeText(first.get(), u"fixed"));
    Ref<IXMLDOMNode> kind = SelectOne(first.get(), u"@kind");
    ASSERT_TRUE(kind);
    EXPECT_FALSE(Specified(kind.get()));
    EXPECT_TRUE(Specified(SelectOne(first.get(), u"@id").get()));
    Ref<IXMLDOMNode> second = SelectOne(doc.get(), u"/r/i[@id='2']");
    ASSERT_TRUE(second);
    EXPECT_EQ(u"odd", AttributeText(second.get(), u"kind"));
    EXPECT_TRUE(Specified(SelectOne(second.get(), u"@kind").get()));
    // A default given a value is specified from then on.
    Ref<IXMLDOMElement> element;
    ASSERT_EQ(S_OK, first->QueryInterface(IID_IXMLDOMElement, element.outVoid()));
    Bstr name(u"kind");
    Variant value(u"changed");
    EXPECT_EQ(S_OK, element->setAttribute(name.get(), value.get()));
    EXPECT_TRUE(Specified(kind.get()));
    EXPECT_EQ(u"changed", TextOf(kind.get()));
}

TEST(DomEntityExpansion, WhatIsExpandedCountsNotWhatIsDeclared) {
    // lol9 would be ten billion characters; the content uses lol1 (100) and lol2 (1000).
    for (bool validate : {false, true}) {
        const std::u16string element = validate ? u"<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA #IMPLIED>" : u"";
        Ref<IXMLDOMDocument2> doc = Parsed(LaughsDtd(9, element) + u"<r a='&lol1;'>&lol2;</r>", validate);
        ASSERT_TRUE(doc) << validate;
        EXPECT_EQ(1000u, TextOf(Root(doc.get()).get()).size());
        EXPECT_EQ(100u, AttributeText(Root(doc.get()).get(), u"a").size());
        EXPECT_TRUE(SelectOne(doc.get(), u"/r[string-length(@a)=100]"));
    }
    // Nested a few references deep, a small expansion loads.
    Ref<IXMLDOMDocument2> doc = Parsed(LaughsDtd(4) + u"<r>&lol4;&lol3;</r>", false);
    ASSERT_TRUE(doc);
    EXPECT_EQ(110000u, TextOf(Root(doc.get()).get()).size());
}

TEST(DomEntityExpansion, ExpandingPastTheBoundStillFails) {
    // lol7 is a hundred million characters, in content, in an attribute value
    // and in an attribute default that every element receives.
    for (const char16_t* body : {u"<r>&lol7;</r>", u"<r a='&lol7;'/>", u"<r>&lol1;&lol7;</r>"}) {
        Ref<IXMLDOMDocument2> doc = NewDocument(CLSID_DOMDocument40);
        doc->put_validateOnParse(VARIANT_FALSE);
        Bstr text(LaughsDtd(9) + body);
        VARIANT_BOOL ok = VARIANT_TRUE;
        EXPECT_EQ(S_FALSE, doc->loadXML(text.get(), &ok)) << Narrow(body);
        EXPECT_EQ(VARIANT_FALSE, ok);
        EXPECT_NE(std::u16string::npos, ParseReason(doc.get()).find(u"xpand")) << Narrow(ParseReason(doc.get()));
    }
    // Many small expansions that add up past the bound.
    std::u16string many = LaughsDtd(5) + u"<r>";
    for (int i = 0; i < 200; ++i) many += u"&lol5;";
    EXPECT_FALSE(Parsed(many + u"</r>", false));
    std::u16string defaults = LaughsDtd(5, u"<!ATTLIST i a CDATA '&lol5;'>") + u"<r>";
    for (int i = 0; i < 200; ++i) defaults += u"<i/>";
    EXPECT_FALSE(Parsed(defaults + u"</r>", false));
    // A loop never loads.
    EXPECT_FALSE(Parsed(u"<!DOCTYPE r [<!ENTITY a '&b;'><!ENTITY b '&a;'>]><r>&a;</r>", false));
    EXPECT_FALSE(Parsed(u"<!DOCTYPE r [<!ENTITY a 'x&b;'><!ENTITY b '&a;&a;'>]><r a='&a;'/>", false));
}

}  // namespace
