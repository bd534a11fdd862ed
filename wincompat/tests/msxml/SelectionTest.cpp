// XPath selection with namespace bindings, node lists and attribute maps.
#include "DomTestSupport.h"

using namespace wincompat_test;

namespace {

const char16_t kEventDocument[] =
    u"<ev:Event xmlns:ev='urn:example:events'>"
    u"<ev:Name>first</ev:Name><ev:Name>second</ev:Name>"
    u"<ev:Node><ev:Name>nested</ev:Name></ev:Node>"
    u"<Name>unqualified</Name>"
    u"<other:Name xmlns:other='urn:example:other'>foreign</other:Name>"
    u"</ev:Event>";

Ref<IXMLDOMDocument2> EventDocument() {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(kEventDocument, CLSID_FreeThreadedDOMDocument);
    // The query prefix differs from the one the document uses.
    SetProperty(doc.get(), u"SelectionNamespaces", u"xmlns:zelk='urn:example:events'");
    return doc;
}

std::vector<std::u16string> SelectTexts(IXMLDOMNode* node, const std::u16string& query) {
    Ref<IXMLDOMNodeList> list;
    Bstr q(query);
    EXPECT_EQ(S_OK, node->selectNodes(q.get(), list.out()));
    std::vector<std::u16string> texts;
    if (!list) return texts;
    LONG length = -1;
    EXPECT_EQ(S_OK, list->get_length(&length));
    for (LONG i = 0; i < length; ++i) {
        Ref<IXMLDOMNode> item;
        EXPECT_EQ(S_OK, list->get_item(i, item.out()));
        texts.push_back(TextOf(item.get()));
    }
    return texts;
}

// What each node of a selection is: name, namespace and markup, in order.
std::vector<std::u16string> Describe(IXMLDOMNode* context, const std::u16string& query, HRESULT& hr) {
    Ref<IXMLDOMNodeList> list;
    Bstr q(query);
    hr = context->selectNodes(q.get(), list.out());
    std::vector<std::u16string> described;
    LONG length = 0;
    if (list) list->get_length(&length);
    for (LONG i = 0; i < length; ++i) {
        Ref<IXMLDOMNode> item;
        list->get_item(i, item.out());
        Bstr uri;
        item->get_namespaceURI(uri.out());
        described.push_back(NameOf(item.get()) + u"|" + uri.text() + u"|" + XmlOf(item.get()));
    }
    return described;
}

// A query that is one element name is answered without XPath; it must answer
// exactly what the XPath child axis answers, whatever the namespaces.
TEST(DomSelection, ANameAloneSelectsWhatTheChildAxisSelects) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(
        u"<r xmlns:a='urn:a' xmlns:b='urn:a'><a:x>1</a:x><x>2</x><b:x>3</b:x>"
        u"<x xmlns='urn:a'>4<x>5</x></x><!--x--><y><x>6</x></y><a:x.y-z_>7</a:x.y-z_>"
        u"<x xmlns='urn:other'>8</x>text<x>9</x></r>");
    SetProperty(doc.get(), u"SelectionLanguage", u"XPath");
    SetProperty(doc.get(), u"SelectionNamespaces", u"xmlns:p='urn:a' xmlns:o='urn:other' xmlns:q='urn:none'");
    Ref<IXMLDOMElement> root = Root(doc.get());
    Ref<IXMLDOMNode> y = SelectOne(root.get(), u"y");
    Ref<IXMLDOMNode> text = SelectOne(root.get(), u"text()");
    Ref<IXMLDOMNode> attribute = SelectOne(root.get(), u"@*");
    ASSERT_TRUE(y);
    ASSERT_TRUE(text);
    std::vector<IXMLDOMNode*> contexts = {doc.get(), root.get(), y.get(), text.get()};
    if (attribute) contexts.push_back(attribute.get());
    for (IXMLDOMNode* context : contexts) {
        for (const char16_t* name : {u"x", u"p:x", u"o:x", u"q:x", u"p:x.y-z_", u"r", u"y", u"X", u"p:X", u"zz"}) {
            HRESULT direct = E_UNEXPECTED, general = E_UNEXPECTED;
            std::vector<std::u16string> fast = Describe(context, name, direct);
            std::vector<std::u16string> axis = Describe(context, u"child::" + std::u16string(name), general);
            EXPECT_EQ(general, direct) << Narrow(name);
            EXPECT_EQ(axis, fast) << Narrow(name);
            // A single selection answers the first of them, or nothing.
            Ref<IXMLDOMNode> first, firstOnAxis;
            Bstr query(name), onAxis(u"child::" + std::u16string(name));
            EXPECT_EQ(context->selectSingleNode(onAxis.get(), firstOnAxis.out()),
                      context->selectSingleNode(query.get(), first.out()))
                << Narrow(name);
            EXPECT_EQ(fast.empty(), !first) << Narrow(name);
            if (first && firstOnAxis) {
                EXPECT_EQ(XmlOf(firstOnAxis.get()), XmlOf(first.get())) << Narrow(name);
            }
            TakeErrorDescription();
        }
    }
    HRESULT hr = S_OK;
    EXPECT_EQ(2u, Describe(root.get(), u"x", hr).size());    // 2 and 9: no namespace
    EXPECT_EQ(3u, Describe(root.get(), u"p:x", hr).size());  // a:x, b:x and the default-namespace x
    // An unbound prefix fails as XPath fails.
    Ref<IXMLDOMNode> none;
    Bstr unbound(u"u:x");
    EXPECT_EQ(E_FAIL, root->selectSingleNode(unbound.get(), none.out()));
    EXPECT_FALSE(TakeErrorDescription().empty());
}

TEST(DomSelection, APrefixBoundBySelectionNamespacesMatchesTheDocumentsOwnPrefix) {
    Ref<IXMLDOMDocument2> doc = EventDocument();
    Ref<IXMLDOMElement> root = Root(doc.get());
    Ref<IXMLDOMNode> name = SelectOne(root.get(), u"zelk:Name");
    ASSERT_TRUE(name);
    EXPECT_EQ(u"first", TextOf(name.get()));
    // The document's own prefix is not bound for queries.
    Ref<IXMLDOMNode> none;
    Bstr query(u"ev:Name");
    EXPECT_EQ(E_FAIL, root->selectSingleNode(query.get(), none.out()));
    EXPECT_FALSE(none);
    EXPECT_FALSE(TakeErrorDescription().empty());
}

TEST(DomSelection, SingleSelectionTakesTheFirstDirectChildInDocumentOrder) {
    Ref<IXMLDOMDocument2> doc = EventDocument();
    Ref<IXMLDOMElement> root = Root(doc.get());
    EXPECT_EQ(u"first", TextOf(SelectOne(root.get(), u"zelk:Name").get()));
    Ref<IXMLDOMNode> node = SelectOne(root.get(), u"zelk:Node");
    ASSERT_TRUE(node);
    // Relative to the node: only its own children.
    EXPECT_EQ(u"nested", TextOf(SelectOne(node.get(), u"zelk:Name").get()));
    EXPECT_FALSE(SelectOne(node.get(), u"zelk:Node"));
    // An unprefixed name means "no namespace".
    EXPECT_EQ(u"unqualified", TextOf(SelectOne(root.get(), u"Name").get()));
}

TEST(DomSelection, NodeListsHoldEveryMatchInDocumentOrder) {
    Ref<IXMLDOMDocument2> doc = EventDocument();
    Ref<IXMLDOMElement> root = Root(doc.get());
    EXPECT_EQ((std::vector<std::u16string>{u"first", u"second"}), SelectTexts(root.get(), u"zelk:Name"));
    EXPECT_EQ((std::vector<std::u16string>{u"first", u"second", u"nested"}), SelectTexts(root.get(), u".//zelk:Name"));
    // A union is still in document order, whatever order the query names.
    EXPECT_EQ((std::vector<std::u16string>{u"first", u"second", u"nested", u"unqualified"}),
              SelectTexts(root.get(), u"Name | zelk:Node/zelk:Name | zelk:Name"));
    EXPECT_TRUE(SelectTexts(root.get(), u"zelk:Missing").empty());
}

TEST(DomSelection, NodeListsIterateAndReset) {
    Ref<IXMLDOMDocument2> doc = EventDocument();
    Ref<IXMLDOMNodeList> list;
    Bstr query(u"zelk:Name");
    ASSERT_EQ(S_OK, Root(doc.get())->selectNodes(query.get(), list.out()));
    Ref<IXMLDOMNode> item;
    ASSERT_EQ(S_OK, list->nextNode(item.out()));
    EXPECT_EQ(u"first", TextOf(item.get()));
    ASSERT_EQ(S_OK, list->nextNode(item.out()));
    EXPECT_EQ(u"second", TextOf(item.get()));
    EXPECT_EQ(S_FALSE, list->nextNode(item.out()));
    EXPECT_FALSE(item);
    EXPECT_EQ(S_OK, list->reset());
    ASSERT_EQ(S_OK, list->nextNode(item.out()));
    EXPECT_EQ(u"first", TextOf(item.get()));
    EXPECT_EQ(S_FALSE, list->get_item(2, item.out()));
    EXPECT_EQ(S_FALSE, list->get_item(-1, item.out()));
    EXPECT_FALSE(item);
}

TEST(DomSelection, PolicyStyleQueriesWithAttributePredicates) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(
        u"<Policy><Section name=\"Other\"/>"
        u"<Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">1</Setting></Section>"
        u"<Section name=\"Detection\"><Setting name=\"SubnetScanEnabled\">0</Setting></Section></Policy>",
        CLSID_DOMDocument40);
    Ref<IXMLDOMNode> section = SelectOne(Root(doc.get()).get(), u"Section[@name=\"Detection\"]");
    ASSERT_TRUE(section);
    Ref<IXMLDOMNode> setting = SelectOne(section.get(), u"Setting[@name=\"SubnetScanEnabled\"]");
    ASSERT_TRUE(setting);
    EXPECT_EQ(u"1", TextOf(setting.get()));
}

TEST(DomSelection, BadQueriesFailWithADescription) {
    Ref<IXMLDOMDocument2> doc = EventDocument();
    Ref<IXMLDOMElement> root = Root(doc.get());
    for (const char16_t* query : {u"zelk:Name[", u"", u"count(zelk:Name)", u"unbound:Name", u"$variable"}) {
        Ref<IXMLDOMNode> node;
        Bstr q(query);
        EXPECT_EQ(E_FAIL, root->selectSingleNode(q.get(), node.out())) << Narrow(query);
        EXPECT_FALSE(node);
        Ref<IXMLDOMNodeList> list;
        EXPECT_EQ(E_FAIL, root->selectNodes(q.get(), list.out())) << Narrow(query);
        EXPECT_FALSE(list);
        EXPECT_FALSE(TakeErrorDescription().empty()) << Narrow(query);
    }
}

TEST(DomSelection, RebindingAPrefixAppliesToLaterQueries) {
    Ref<IXMLDOMDocument2> doc = EventDocument();
    Ref<IXMLDOMElement> root = Root(doc.get());
    EXPECT_EQ(u"first", TextOf(SelectOne(root.get(), u"zelk:Name").get()));
    SetProperty(doc.get(), u"SelectionNamespaces", u"xmlns:zelk=\"urn:example:other\"  xmlns:e='urn:example:events'");
    EXPECT_EQ(u"foreign", TextOf(SelectOne(root.get(), u"zelk:Name").get()));
    EXPECT_EQ(u"second", TextOf(SelectOne(root.get(), u"e:Name[2]").get()));
    // A list that binds nothing leaves the prefix of earlier queries unbound.
    Bstr property(u"SelectionNamespaces");
    Variant malformed(std::u16string(u"xmlns:zelk="));
    EXPECT_EQ(E_FAIL, doc->setProperty(property.get(), malformed.get()));
    TakeErrorDescription();
    Ref<IXMLDOMNode> none;
    Bstr query(u"zelk:Name");
    EXPECT_EQ(E_FAIL, root->selectSingleNode(query.get(), none.out()));
    EXPECT_FALSE(none);
    EXPECT_FALSE(TakeErrorDescription().empty());
}

TEST(DomSelection, SelectionFromTheDocumentNode) {
    Ref<IXMLDOMDocument2> doc = EventDocument();
    Ref<IXMLDOMNode> root = SelectOne(doc.get(), u"zelk:Event");
    ASSERT_TRUE(root);
    EXPECT_EQ(u"ev:Event", NameOf(root.get()));
    Ref<IXMLDOMNode> parent;
    EXPECT_EQ(S_OK, root->get_parentNode(parent.out()));
    ASSERT_TRUE(parent);
    DOMNodeType type = NODE_INVALID;
    parent->get_nodeType(&type);
    EXPECT_EQ(NODE_DOCUMENT, type);
}

TEST(DomAttributes, NamedItemsAreFoundByTheirExactName) {
    Ref<IXMLDOMDocument2> doc =
        LoadedDocument(u"<s id='12' name='sensor' xmlns:p='urn:p' p:id='other'/>", CLSID_DOMDocument);
    Ref<IXMLDOMElement> root = Root(doc.get());
    Ref<IXMLDOMNamedNodeMap> attributes;
    ASSERT_EQ(S_OK, root->get_attributes(attributes.out()));
    LONG length = 0;
    EXPECT_EQ(S_OK, attributes->get_length(&length));
    EXPECT_EQ(3, length);  // the namespace declaration is not among them

    Ref<IXMLDOMNode> id;
    Bstr idName(u"id"), prefixed(u"p:id"), upper(u"ID");
    ASSERT_EQ(S_OK, attributes->getNamedItem(idName.get(), id.out()));
    Variant value;
    EXPECT_EQ(S_OK, id->get_nodeTypedValue(value.out()));
    EXPECT_EQ(VT_BSTR, value.vt());
    EXPECT_EQ(u"12", value.str());
    ASSERT_EQ(S_OK, attributes->getNamedItem(prefixed.get(), id.out()));
    EXPECT_EQ(u"other", TextOf(id.get()));
    EXPECT_EQ(S_FALSE, attributes->getNamedItem(upper.get(), id.out()));
    EXPECT_FALSE(id);

    Ref<IXMLDOMNode> item;
    EXPECT_EQ(S_OK, attributes->get_item(1, item.out()));
    EXPECT_EQ(u"name", NameOf(item.get()));
    EXPECT_EQ(S_FALSE, attributes->get_item(3, item.out()));
}

TEST(DomAttributes, OnlyElementsHaveAttributeMaps) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a>text</a>");
    Ref<IXMLDOMNode> text;
    ASSERT_EQ(S_OK, Root(doc.get())->get_firstChild(text.out()));
    Ref<IXMLDOMNamedNodeMap> attributes;
    EXPECT_EQ(S_FALSE, text->get_attributes(attributes.out()));
    EXPECT_FALSE(attributes);
    EXPECT_EQ(S_FALSE, doc->get_attributes(attributes.out()));
}

TEST(DomAttributes, AttributeLookupAndAttributeSelection) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<a x='1' y='2'/>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    Variant value;
    Bstr x(u"x"), missing(u"z");
    EXPECT_EQ(S_OK, root->getAttribute(x.get(), value.out()));
    EXPECT_EQ(u"1", value.str());
    EXPECT_EQ(S_FALSE, root->getAttribute(missing.get(), value.out()));
    EXPECT_EQ(VT_NULL, value.vt());
    Ref<IXMLDOMNode> y = SelectOne(root.get(), u"@y");
    ASSERT_TRUE(y);
    Ref<IXMLDOMAttribute> attribute = y.As<IXMLDOMAttribute>(IID_IXMLDOMAttribute);
    ASSERT_TRUE(attribute);
    EXPECT_EQ(S_OK, attribute->get_value(value.out()));
    EXPECT_EQ(u"2", value.str());
    EXPECT_EQ(u"y=\"2\"", XmlOf(y.get()));
}

}  // namespace
