// Building and changing documents, and the `xml` serialisation.
#include "DomTestSupport.h"

using namespace wincompat_test;

namespace {

Ref<IXMLDOMElement> NewElement(IXMLDOMDocument2* doc, const std::u16string& name) {
    Ref<IXMLDOMElement> element;
    Bstr tag(name);
    EXPECT_EQ(S_OK, doc->createElement(tag.get(), element.out()));
    return element;
}

void SetAttribute(IXMLDOMElement* element, const std::u16string& name, const std::u16string& value) {
    Bstr attribute(name);
    Variant v(value);
    EXPECT_EQ(S_OK, element->setAttribute(attribute.get(), v.get()));
}

void PutText(IXMLDOMNode* node, const std::u16string& text) {
    Bstr value(text);
    EXPECT_EQ(S_OK, node->put_text(value.get()));
}

void Append(IXMLDOMNode* parent, IXMLDOMNode* child) {
    Ref<IXMLDOMNode> appended;
    EXPECT_EQ(S_OK, parent->appendChild(child, appended.out()));
    EXPECT_EQ(child, appended.get());
}

TEST(DomSerialise, PolicyEditRoundTrip) {
    // What the policy handler does: load, append a section, serialise.
    Ref<IXMLDOMDocument2> doc = LoadedDocument(
        u"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Policy>\n  <Section name='Detection'>"
        u"<Setting name='SubnetScanEnabled'>1</Setting></Section>\n</Policy>",
        CLSID_DOMDocument40);
    Ref<IXMLDOMElement> root = Root(doc.get());
    Ref<IXMLDOMElement> section = NewElement(doc.get(), u"Section");
    SetAttribute(section.get(), u"name", u"Exceptions");
    Ref<IXMLDOMElement> blacklist = NewElement(doc.get(), u"Setting");
    SetAttribute(blacklist.get(), u"name", u"ScanBlacklist");
    PutText(blacklist.get(), u"00:11|A&B|<x>");
    Append(section.get(), blacklist.get());
    Ref<IXMLDOMElement> empty = NewElement(doc.get(), u"Setting");
    SetAttribute(empty.get(), u"name", u"ExceptionScanBlacklist");
    PutText(empty.get(), u"");
    Append(section.get(), empty.get());
    Append(root.get(), section.get());

    EXPECT_EQ(
        u"<?xml version=\"1.0\"?>\r\n"
        u"<Policy><Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1</Setting></Section>"
        u"<Section name=\"Exceptions\"><Setting name=\"ScanBlacklist\">00:11|A&amp;B|&lt;x&gt;</Setting>"
        u"<Setting name=\"ExceptionScanBlacklist\"/></Section></Policy>\r\n",
        XmlOf(doc.get()));

    // What was written reads back the same.
    Ref<IXMLDOMDocument2> again = LoadedDocument(XmlOf(doc.get()));
    SetProperty(again.get(), u"SelectionLanguage", u"XPath");
    Ref<IXMLDOMNode> setting =
        SelectOne(Root(again.get()).get(), u"Section[@name='Exceptions']/Setting[@name='ScanBlacklist']");
    ASSERT_TRUE(setting);
    EXPECT_EQ(u"00:11|A&B|<x>", TextOf(setting.get()));
    EXPECT_EQ(XmlOf(doc.get()), XmlOf(again.get()));
}

TEST(DomSerialise, NoDeclarationIsAddedWhenTheSourceHadNone) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a b='1'><c></c></a>");
    EXPECT_EQ(u"<a b=\"1\"><c/></a>\r\n", XmlOf(doc.get()));
    EXPECT_EQ(u"<c/>", XmlOf(SelectOne(Root(doc.get()).get(), u"c").get()));
}

TEST(DomSerialise, StandaloneIsKeptInTheDeclaration) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<?xml version='1.0' encoding='utf-16' standalone='yes'?><a/>");
    EXPECT_EQ(u"<?xml version=\"1.0\" standalone=\"yes\"?>\r\n<a/>\r\n", XmlOf(doc.get()));
}

TEST(DomSerialise, QuotesAndSpecialCharactersAreEscaped) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a/>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    SetAttribute(root.get(), u"q", u"say \"hi\" & <bye>");
    PutText(root.get(), u"1 < 2 && \u00E9\u20AC");
    EXPECT_EQ(u"<a q=\"say &quot;hi&quot; &amp; &lt;bye&gt;\">1 &lt; 2 &amp;&amp; \u00E9\u20AC</a>", XmlOf(root.get()));
    Variant value;
    Bstr q(u"q");
    EXPECT_EQ(S_OK, root->getAttribute(q.get(), value.out()));
    EXPECT_EQ(u"say \"hi\" & <bye>", value.str());
}

TEST(DomSerialise, CommentsProcessingInstructionsAndCdataSurvive) {
    Ref<IXMLDOMDocument2> doc =
        LoadedDocument(u"<?xml version=\"1.0\"?><!--top--><?pi data?><a><![CDATA[<raw>]]><!--in--></a>");
    EXPECT_EQ(u"<?xml version=\"1.0\"?>\r\n<!--top-->\r\n<?pi data?>\r\n<a><![CDATA[<raw>]]><!--in--></a>\r\n",
              XmlOf(doc.get()));
    // Text is character data only: comments do not count.
    EXPECT_EQ(u"<raw>", TextOf(Root(doc.get()).get()));
}

// Every line break comes out as CR LF: between the top-level nodes, in text,
// comments, processing instructions and CDATA. A line feed in an attribute
// value is written as a character reference, so that it reads back.
// The nodeValue of the node's first child: text as it is held, which `text`
// would normalise.
std::u16string FirstChildValue(IXMLDOMNode* node) {
    Ref<IXMLDOMNode> child;
    EXPECT_EQ(S_OK, node->get_firstChild(child.out()));
    if (!child) return u"(no child)";
    Variant value;
    EXPECT_EQ(S_OK, child->get_nodeValue(value.out()));
    return value.str();
}

TEST(DomSerialise, LineBreaksAreWrittenAsCrLf) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<root>foo\n\n\n\nbar</root>");
    EXPECT_EQ(u"<root>foo\r\n\r\n\r\n\r\nbar</root>\r\n", XmlOf(doc.get()));
    EXPECT_EQ(u"<root>foo\r\n\r\n\r\n\r\nbar</root>", XmlOf(Root(doc.get()).get()));
    EXPECT_EQ(u"foo\n\n\n\nbar", FirstChildValue(Root(doc.get()).get()));  // the text node keeps its line feeds

    doc = LoadedDocument(u"<?xml version='1.0'?>\r\n<a>x\r\ny<!--c\nd--><?p e\nf?><![CDATA[g\nh]]></a>");
    EXPECT_EQ(u"<?xml version=\"1.0\"?>\r\n<a>x\r\ny<!--c\r\nd--><?p e\r\nf?><![CDATA[g\r\nh]]></a>\r\n",
              XmlOf(doc.get()));

    doc = LoadedDocument(u"<a b='&#10;x&#13;&#10;'/>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    EXPECT_EQ(u"<a b=\"&#10;x&#13;&#10;\"/>", XmlOf(root.get()));
    PutText(root.get(), u"one\ntwo");
    EXPECT_EQ(u"<a b=\"&#10;x&#13;&#10;\">one\r\ntwo</a>", XmlOf(root.get()));
    // What was written reads back as it was.
    Ref<IXMLDOMDocument2> again = LoadedDocument(XmlOf(doc.get()));
    EXPECT_EQ(u"one\ntwo", FirstChildValue(Root(again.get()).get()));
    Variant value;
    Bstr b(u"b");
    EXPECT_EQ(S_OK, Root(again.get())->getAttribute(b.get(), value.out()));
    EXPECT_EQ(u"\nx\r\n", value.str());
}

TEST(DomEdit, PutTextReplacesAllContentWithOneTextNode) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a>x<b>y</b>z</a>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    Ref<IXMLDOMNode> b = SelectOne(root.get(), u"b");
    EXPECT_EQ(u"xyz", TextOf(root.get()));
    PutText(root.get(), u"new");
    EXPECT_EQ(u"<a>new</a>", XmlOf(root.get()));
    Ref<IXMLDOMNodeList> children;
    ASSERT_EQ(S_OK, root->get_childNodes(children.out()));
    LONG length = 0;
    children->get_length(&length);
    EXPECT_EQ(1, length);
    // The removed child is still a usable, detached node.
    EXPECT_EQ(u"y", TextOf(b.get()));
    Ref<IXMLDOMNode> parent;
    EXPECT_EQ(S_FALSE, b->get_parentNode(parent.out()));
}

TEST(DomEdit, AdjacentTextNodesStayDistinctNodes) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a>one</a>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    Ref<IXMLDOMNode> first;
    ASSERT_EQ(S_OK, root->get_firstChild(first.out()));
    Ref<IXMLDOMNode> clone;
    ASSERT_EQ(S_OK, first->cloneNode(VARIANT_TRUE, clone.out()));
    Append(root.get(), clone.get());
    PutText(clone.get(), u"two");
    EXPECT_EQ(u"one", TextOf(first.get()));
    EXPECT_EQ(u"onetwo", TextOf(root.get()));
}

TEST(DomEdit, SetAttributeReplacesTheValueOfAnExistingAttribute) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a name='old'/>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    Ref<IXMLDOMAttribute> attribute;
    Bstr name(u"name");
    ASSERT_EQ(S_OK, root->getAttributeNode(name.get(), attribute.out()));
    SetAttribute(root.get(), u"name", u"new");
    Variant value;
    EXPECT_EQ(S_OK, attribute->get_value(value.out()));
    EXPECT_EQ(u"new", value.str());
    EXPECT_EQ(u"<a name=\"new\"/>", XmlOf(root.get()));
    EXPECT_EQ(S_OK, root->removeAttribute(name.get()));
    EXPECT_EQ(u"<a/>", XmlOf(root.get()));
}

TEST(DomEdit, SetAttributeConvertsNonStringValues) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a/>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 42;
    Bstr name(u"n");
    EXPECT_EQ(S_OK, root->setAttribute(name.get(), number));
    EXPECT_EQ(u"<a n=\"42\"/>", XmlOf(root.get()));
}

TEST(DomEdit, BadNamesAreRefused) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    for (const char16_t* name : {u"", u"1abc", u"a b", u"<a>", u"a:"}) {
        Ref<IXMLDOMElement> element;
        Bstr tag(name);
        EXPECT_EQ(E_FAIL, doc->createElement(tag.get(), element.out())) << Narrow(name);
        EXPECT_FALSE(element);
    }
    ASSERT_TRUE(LoadXml(doc.get(), u"<a/>"));
    Bstr bad(u"b c");
    Variant value(u"v");
    EXPECT_EQ(E_FAIL, Root(doc.get())->setAttribute(bad.get(), value.get()));
}

TEST(DomEdit, AnEmptyDocumentTakesOneRootElement) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    Ref<IXMLDOMElement> root = NewElement(doc.get(), u"root");
    Append(doc.get(), root.get());
    EXPECT_EQ(u"<root/>\r\n", XmlOf(doc.get()));
    Ref<IXMLDOMElement> second = NewElement(doc.get(), u"second");
    Ref<IXMLDOMNode> out;
    EXPECT_EQ(E_FAIL, doc->appendChild(second.get(), out.out()));
    EXPECT_FALSE(out);
}

TEST(DomEdit, InsertingANodeUnderItselfIsRefused) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a><b><c/></b></a>");
    Ref<IXMLDOMNode> b = SelectOne(Root(doc.get()).get(), u"b");
    Ref<IXMLDOMNode> c = SelectOne(b.get(), u"c");
    Ref<IXMLDOMNode> out;
    EXPECT_EQ(E_FAIL, c->appendChild(b.get(), out.out()));
    EXPECT_EQ(E_FAIL, b->appendChild(b.get(), out.out()));
    EXPECT_EQ(u"<a><b><c/></b></a>\r\n", XmlOf(doc.get()));
}

TEST(DomEdit, AppendingMovesANodeWithinTheDocument) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a><b>1</b><c/></a>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    Ref<IXMLDOMNode> b = SelectOne(root.get(), u"b");
    Ref<IXMLDOMNode> c = SelectOne(root.get(), u"c");
    Append(c.get(), b.get());
    EXPECT_EQ(u"<a><c><b>1</b></c></a>", XmlOf(root.get()));
    Ref<IXMLDOMNode> removed;
    EXPECT_EQ(S_OK, root->removeChild(c.get(), removed.out()));
    EXPECT_EQ(u"<a/>", XmlOf(root.get()));
    EXPECT_EQ(E_INVALIDARG, root->removeChild(c.get(), removed.out()));
}

TEST(DomEdit, NodesOfAnotherDocumentAreRefused) {
    Ref<IXMLDOMDocument2> one = LoadedDocument(u"<a/>");
    Ref<IXMLDOMDocument2> two = NewDocument();
    Ref<IXMLDOMElement> foreign = NewElement(two.get(), u"x");
    Ref<IXMLDOMNode> out;
    EXPECT_EQ(E_INVALIDARG, Root(one.get())->appendChild(foreign.get(), out.out()));
    EXPECT_EQ(E_INVALIDARG, Root(one.get())->appendChild(nullptr, out.out()));
}

TEST(DomEdit, InsertBeforeAndReplaceChild) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a><c/></a>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    Ref<IXMLDOMNode> c = SelectOne(root.get(), u"c");
    Ref<IXMLDOMElement> b = NewElement(doc.get(), u"b");
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_UNKNOWN;
    ref.punkVal = c.get();
    Ref<IXMLDOMNode> out;
    EXPECT_EQ(S_OK, root->insertBefore(b.get(), ref, out.out()));
    EXPECT_EQ(u"<a><b/><c/></a>", XmlOf(root.get()));
    Ref<IXMLDOMElement> d = NewElement(doc.get(), u"d");
    EXPECT_EQ(S_OK, root->replaceChild(d.get(), c.get(), out.out()));
    EXPECT_EQ(u"<a><b/><d/></a>", XmlOf(root.get()));
}

TEST(DomEdit, NodeNamesTypesAndNamespaces) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<p:a xmlns:p='urn:p'>t<!--c--></p:a>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    EXPECT_EQ(u"p:a", NameOf(root.get()));
    Bstr value;
    EXPECT_EQ(S_OK, root->get_baseName(value.out()));
    EXPECT_EQ(u"a", value.text());
    EXPECT_EQ(S_OK, root->get_prefix(value.out()));
    EXPECT_EQ(u"p", value.text());
    EXPECT_EQ(S_OK, root->get_namespaceURI(value.out()));
    EXPECT_EQ(u"urn:p", value.text());
    EXPECT_EQ(S_OK, root->get_nodeTypeString(value.out()));
    EXPECT_EQ(u"element", value.text());
    EXPECT_EQ(S_OK, root->get_tagName(value.out()));
    EXPECT_EQ(u"p:a", value.text());
    Ref<IXMLDOMNode> text, comment;
    ASSERT_EQ(S_OK, root->get_firstChild(text.out()));
    EXPECT_EQ(u"#text", NameOf(text.get()));
    ASSERT_EQ(S_OK, text->get_nextSibling(comment.out()));
    EXPECT_EQ(u"#comment", NameOf(comment.get()));
    Variant nodeValue;
    EXPECT_EQ(S_OK, comment->get_nodeValue(nodeValue.out()));
    EXPECT_EQ(u"c", nodeValue.str());
    EXPECT_EQ(S_FALSE, root->get_nodeValue(nodeValue.out()));
    EXPECT_EQ(VT_NULL, nodeValue.vt());
    EXPECT_EQ(u"#document", NameOf(doc.get()));
}

TEST(DomEdit, CreateNodeWithANamespaceSerialisesItsDeclaration) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<root/>");
    VARIANT type;
    VariantInit(&type);
    type.vt = VT_I4;
    type.lVal = NODE_ELEMENT;
    Bstr name(u"z:Item"), uri(u"urn:z");
    Ref<IXMLDOMNode> item;
    ASSERT_EQ(S_OK, doc->createNode(type, name.get(), uri.get(), item.out()));
    Append(Root(doc.get()).get(), item.get());
    EXPECT_EQ(u"<root><z:Item xmlns:z=\"urn:z\"/></root>", XmlOf(Root(doc.get()).get()));
}

}  // namespace

namespace {

TEST(DomNavigation, ChildNodesAndElementsByTagName) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a><b>1</b>t<c><b>2</b></c><b>3</b></a>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    Ref<IXMLDOMNodeList> children;
    ASSERT_EQ(S_OK, root->get_childNodes(children.out()));
    LONG length = 0;
    EXPECT_EQ(S_OK, children->get_length(&length));
    EXPECT_EQ(4, length);
    Ref<IXMLDOMNodeList> bs;
    Bstr b(u"b"), all(u"*");
    ASSERT_EQ(S_OK, root->getElementsByTagName(b.get(), bs.out()));
    std::u16string texts;
    for (Ref<IXMLDOMNode> item; bs->nextNode(item.out()) == S_OK;) texts += TextOf(item.get());
    EXPECT_EQ(u"123", texts);  // document order, nested ones included
    ASSERT_EQ(S_OK, doc->getElementsByTagName(all.get(), bs.out()));
    EXPECT_EQ(S_OK, bs->get_length(&length));
    EXPECT_EQ(5, length);  // the root too
    Ref<IXMLDOMNode> last, previous;
    ASSERT_EQ(S_OK, root->get_lastChild(last.out()));
    ASSERT_EQ(S_OK, last->get_previousSibling(previous.out()));
    EXPECT_EQ(u"c", NameOf(previous.get()));
    VARIANT_BOOL has = VARIANT_FALSE;
    EXPECT_EQ(S_OK, previous->hasChildNodes(&has));
    EXPECT_EQ(VARIANT_TRUE, has);
}

}  // namespace
