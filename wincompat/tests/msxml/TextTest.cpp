// The `text` property: white space normalised unless preserved, CDATA as
// written, and nodeValue always raw.
#include "DomTestSupport.h"

using namespace wincompat_test;

namespace {

Ref<IXMLDOMDocument2> LoadedPreserving(const std::u16string& xml) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    EXPECT_EQ(S_OK, doc->put_preserveWhiteSpace(VARIANT_TRUE));
    EXPECT_TRUE(LoadXml(doc.get(), xml));
    return doc;
}

std::u16string ValueOf(IXMLDOMNode* node) {
    Variant value;
    EXPECT_EQ(S_OK, node->get_nodeValue(value.out()));
    return value.str();
}

std::u16string TextAt(IXMLDOMDocument2* doc, const std::u16string& query) {
    Ref<IXMLDOMNode> node = SelectOne(doc, query);
    return node ? TextOf(node.get()) : u"(none)";
}

TEST(DomText, AnElementLosesTheWhiteSpaceAtTheEndsOfItsText) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<s><v> 1 </v><w>\n\t0\r\n</w><x>1 </x><y>   </y></s>");
    EXPECT_EQ(u"1", TextAt(doc.get(), u"/s/v"));
    EXPECT_EQ(u"0", TextAt(doc.get(), u"/s/w"));
    EXPECT_EQ(u"1", TextAt(doc.get(), u"/s/x"));
    EXPECT_EQ(u"", TextAt(doc.get(), u"/s/y"));
}

TEST(DomText, RunsOfWhiteSpaceBetweenWordsBecomeOneSpace) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<v>  a \n\t b\t\tc  </v>");
    EXPECT_EQ(u"a b c", TextOf(Root(doc.get()).get()));
}

TEST(DomText, TheTextNodeItselfAndNodeValueStayAsWritten) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<v> a  b </v>");
    Ref<IXMLDOMNode> text;
    ASSERT_EQ(S_OK, Root(doc.get())->get_firstChild(text.out()));
    EXPECT_EQ(u" a  b ", ValueOf(text.get()));
    EXPECT_EQ(u" a  b ", TextOf(text.get()));
}

// The example of Microsoft's page on the text property.
TEST(DomText, MixedContentJoinsNormalisedTextWithCdataAsWritten) {
    const std::u16string xml =
        u"<root att=\"   123   a   &lt;   \">\n"
        u"   <a>   a   a   </a>\n"
        u"   <!--   comment   b   -->\n"
        u"   <?pi   pi   c   ?>\n"
        u"   <![CDATA[   cdata   d   ]]>\n"
        u"   e   f\n"
        u"</root>";
    Ref<IXMLDOMDocument2> doc = LoadedDocument(xml);
    EXPECT_EQ(u"a a   cdata   d    e f", TextOf(Root(doc.get()).get()));
    EXPECT_EQ(u"a a   cdata   d    e f", TextOf(doc.get()));
    Ref<IXMLDOMNode> cdata = SelectOne(doc.get(), u"/root/node()[self::text()][1]");
    ASSERT_TRUE(cdata);
    EXPECT_EQ(u"   cdata   d   ", TextOf(cdata.get()));
}

TEST(DomText, ChildElementsJoinWithASpaceOnlyWhereTheTextHadWhiteSpace) {
    Ref<IXMLDOMDocument2> doc =
        LoadedDocument(u"<s><j><a>x</a><b>y</b></j><g>x <b> y </b> z</g><e>x<b/> y</e><c>a <![CDATA[ b ]]> c</c></s>");
    EXPECT_EQ(u"xy", TextAt(doc.get(), u"/s/j"));
    EXPECT_EQ(u"x y z", TextAt(doc.get(), u"/s/g"));
    EXPECT_EQ(u"x y", TextAt(doc.get(), u"/s/e"));
    EXPECT_EQ(u"a  b  c", TextAt(doc.get(), u"/s/c"));
}

TEST(DomText, CdataKeepsItsWhiteSpaceEvenAtTheEnds) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<v> <![CDATA[  x  ]]> </v>");
    EXPECT_EQ(u"  x  ", TextOf(Root(doc.get()).get()));
}

TEST(DomText, PreserveWhiteSpaceGivesTheTextAsWritten) {
    Ref<IXMLDOMDocument2> doc = LoadedPreserving(u"<v> a \n b <w> 1 </w></v>");
    EXPECT_EQ(u" a \n b  1 ", TextOf(Root(doc.get()).get()));
    EXPECT_EQ(u" 1 ", TextAt(doc.get(), u"/v/w"));
    // The switch is read when the text is asked for.
    EXPECT_EQ(S_OK, doc->put_preserveWhiteSpace(VARIANT_FALSE));
    EXPECT_EQ(u"1", TextAt(doc.get(), u"/v/w"));
}

TEST(DomText, XmlSpacePreserveKeepsTheWhiteSpaceOfItsElements) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(
        u"<r><p xml:space=\"preserve\"> a  b <q xml:space=\"default\"> c  d </q><k> 1 </k></p><d> e </d></r>");
    EXPECT_EQ(u" a  b c d 1 ", TextAt(doc.get(), u"/r/p"));
    EXPECT_EQ(u"c d", TextAt(doc.get(), u"/r/p/q"));
    EXPECT_EQ(u" 1 ", TextAt(doc.get(), u"/r/p/k"));
    EXPECT_EQ(u"e", TextAt(doc.get(), u"/r/d"));
    EXPECT_EQ(u" a  b c d 1 e", TextOf(Root(doc.get()).get()));
}

TEST(DomText, AnAttributeGivesItsValueTrimmedAndItsNodeValueAsWritten) {
    Ref<IXMLDOMDocument2> doc =
        LoadedDocument(u"<r><v a=\"   123   a   &lt;   \"/><p xml:space=\"preserve\" a=\" 1 \"/></r>");
    Ref<IXMLDOMNode> attribute = SelectOne(doc.get(), u"/r/v/@a");
    ASSERT_TRUE(attribute);
    EXPECT_EQ(u"123   a   <", TextOf(attribute.get()));
    EXPECT_EQ(u"   123   a   <   ", ValueOf(attribute.get()));
    EXPECT_EQ(u" 1 ", TextAt(doc.get(), u"/r/p/@a"));
}

TEST(DomText, EntityReferencesReadAsTheirTextInPlace) {
    Ref<IXMLDOMDocument2> doc =
        LoadedDocument(u"<!DOCTYPE v [<!ELEMENT v (#PCDATA)><!ENTITY e \"  x  y \">]><v> a&e;b </v>");
    ASSERT_TRUE(Root(doc.get()));
    EXPECT_EQ(u"a x y b", TextOf(Root(doc.get()).get()));
}

TEST(DomText, TextSetThroughTheDomReadsNormalisedToo) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<v/>");
    Bstr padded(u"  set  by  hand ");
    ASSERT_EQ(S_OK, Root(doc.get())->put_text(padded.get()));
    EXPECT_EQ(u"set by hand", TextOf(Root(doc.get()).get()));
    EXPECT_EQ(u"<v>  set  by  hand </v>", XmlOf(Root(doc.get()).get()));
}

}  // namespace
