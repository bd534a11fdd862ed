// Creating documents through activation, interface identity and lifetimes.
#include "DomTestSupport.h"

using namespace wincompat_test;

namespace {

const CLSID kDomDocument60 = {0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
const CLSID kDomDocument50 = {0x88D969E5, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};

TEST(DomActivation, EveryDocumentClassIsCreatable) {
    for (const CLSID* clsid : {&CLSID_DOMDocument, &CLSID_FreeThreadedDOMDocument, &CLSID_DOMDocument40}) {
        Ref<IXMLDOMDocument2> doc;
        EXPECT_EQ(S_OK, CoCreateInstance(*clsid, nullptr, 23, IID_IXMLDOMDocument2, doc.outVoid()));
        ASSERT_TRUE(doc);
        EXPECT_TRUE(LoadXml(doc.get(), u"<a/>"));
    }
}

TEST(DomActivation, ProgIdsNameTheirOwnVersionedClasses) {
    struct Case {
        const char16_t* progId;
        const CLSID* clsid;
    } cases[] = {{u"MSXML2.DOMDocument.6.0", &kDomDocument60},
                 {u"MSXML2.DOMDocument.5.0", &kDomDocument50},
                 {u"MSXML2.DOMDocument.4.0", &CLSID_DOMDocument40},
                 {u"Msxml2.DOMDocument", &CLSID_DOMDocument},
                 {u"Msxml2.FreeThreadedDOMDocument", &CLSID_FreeThreadedDOMDocument}};
    for (const Case& c : cases) {
        CLSID clsid{};
        ASSERT_EQ(S_OK, CLSIDFromProgID(c.progId, &clsid)) << Narrow(c.progId);
        EXPECT_TRUE(IsEqualCLSID(clsid, *c.clsid)) << Narrow(c.progId);
        Ref<IXMLDOMDocument2> doc;
        EXPECT_EQ(S_OK, CoCreateInstance(clsid, nullptr, 23, IID_IXMLDOMDocument2, doc.outVoid()));
        EXPECT_TRUE(doc);
    }
}

TEST(DomActivation, AggregationIsRefused) {
    Ref<IXMLDOMDocument2> outer = NewDocument();
    Ref<IUnknown> inner;
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              CoCreateInstance(CLSID_DOMDocument, outer.get(), CLSCTX_INPROC_SERVER, IID_IUnknown, inner.outVoid()));
    EXPECT_FALSE(inner);
}

TEST(DomActivation, DefaultsFollowTheMsxmlVersion) {
    Ref<IXMLDOMDocument2> v3, v6;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_DOMDocument, nullptr, 1, IID_IXMLDOMDocument2, v3.outVoid()));
    ASSERT_EQ(S_OK, CoCreateInstance(kDomDocument60, nullptr, 1, IID_IXMLDOMDocument2, v6.outVoid()));
    VARIANT_BOOL flag = VARIANT_FALSE;
    EXPECT_EQ(S_OK, v3->get_async(&flag));
    EXPECT_EQ(VARIANT_TRUE, flag);
    EXPECT_EQ(S_OK, v3->get_validateOnParse(&flag));
    EXPECT_EQ(VARIANT_TRUE, flag);

    Bstr prohibit(u"ProhibitDTD"), language(u"SelectionLanguage");
    Variant value;
    EXPECT_EQ(S_OK, v3->getProperty(prohibit.get(), value.out()));
    EXPECT_EQ(VARIANT_FALSE, value.get().boolVal);
    EXPECT_EQ(S_OK, v6->getProperty(prohibit.get(), value.out()));
    EXPECT_EQ(VARIANT_TRUE, value.get().boolVal);
    EXPECT_EQ(S_OK, v3->getProperty(language.get(), value.out()));
    EXPECT_EQ(u"XSLPattern", value.str());
    EXPECT_EQ(S_OK, v6->getProperty(language.get(), value.out()));
    EXPECT_EQ(u"XPath", value.str());
}

TEST(DomInterfaces, EachNodeAnswersItsOwnInterfaces) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<root id='7'>text</root>");
    Ref<IXMLDOMElement> root = Root(doc.get());
    ASSERT_TRUE(root);

    EXPECT_TRUE(doc.As<IXMLDOMDocument>(IID_IXMLDOMDocument));
    EXPECT_TRUE(doc.As<IXMLDOMNode>(IID_IXMLDOMNode));
    EXPECT_TRUE(doc.As<IDispatch>(IID_IDispatch));
    EXPECT_TRUE(doc.As<ISupportErrorInfo>(IID_ISupportErrorInfo));
    EXPECT_FALSE(doc.As<IXMLDOMElement>(IID_IXMLDOMElement));

    EXPECT_TRUE(root.As<IXMLDOMNode>(IID_IXMLDOMNode));
    EXPECT_FALSE(root.As<IXMLDOMAttribute>(IID_IXMLDOMAttribute));
    EXPECT_FALSE(root.As<IXMLDOMDocument>(IID_IXMLDOMDocument));

    Ref<IXMLDOMAttribute> id;
    Bstr name(u"id");
    ASSERT_EQ(S_OK, root->getAttributeNode(name.get(), id.out()));
    EXPECT_FALSE(id.As<IXMLDOMElement>(IID_IXMLDOMElement));
    DOMNodeType type = NODE_INVALID;
    EXPECT_EQ(S_OK, id->get_nodeType(&type));
    EXPECT_EQ(NODE_ATTRIBUTE, type);

    Ref<IXMLDOMNode> text;
    ASSERT_EQ(S_OK, root->get_firstChild(text.out()));
    EXPECT_EQ(S_OK, text->get_nodeType(&type));
    EXPECT_EQ(NODE_TEXT, type);
    EXPECT_FALSE(text.As<IXMLDOMElement>(IID_IXMLDOMElement));

    // COM identity: every interface of one object gives the same IUnknown.
    Ref<IUnknown> a = root.As<IUnknown>(IID_IUnknown);
    Ref<IUnknown> b = root.As<IXMLDOMNode>(IID_IXMLDOMNode).As<IUnknown>(IID_IUnknown);
    EXPECT_EQ(a.get(), b.get());

    Ref<ISupportErrorInfo> support = root.As<ISupportErrorInfo>(IID_ISupportErrorInfo);
    ASSERT_TRUE(support);
    EXPECT_EQ(S_OK, support->InterfaceSupportsErrorInfo(IID_IXMLDOMNode));
}

TEST(DomInterfaces, DispatchOffersNoTypeInformation) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    UINT count = 99;
    EXPECT_EQ(S_OK, doc->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND, doc->Invoke(0, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr));
}

TEST(DomLifetime, NodesKeepTheirDocumentAlive) {
    Ref<IXMLDOMNode> child;
    {
        Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<root><child>kept</child></root>");
        child = SelectOne(Root(doc.get()).get(), u"child");
    }
    ASSERT_TRUE(child);
    EXPECT_EQ(u"kept", TextOf(child.get()));
    Ref<IXMLDOMDocument> owner;
    EXPECT_EQ(S_OK, child->get_ownerDocument(owner.out()));
    EXPECT_TRUE(owner);
}

TEST(DomLifetime, NodesOfAReplacedDocumentStayUsable) {
    Ref<IXMLDOMDocument2> doc = LoadedDocument(u"<first><a>old</a></first>");
    Ref<IXMLDOMNode> oldNode = SelectOne(Root(doc.get()).get(), u"a");
    ASSERT_TRUE(LoadXml(doc.get(), u"<second/>"));
    EXPECT_EQ(u"old", TextOf(oldNode.get()));
    EXPECT_EQ(u"second", NameOf(Root(doc.get()).get()));
}

TEST(DomLifetime, ReferenceCountsBalance) {
    Ref<IXMLDOMDocument2> doc = NewDocument();
    EXPECT_EQ(2u, doc->AddRef());
    EXPECT_EQ(1u, doc->Release());
    Ref<IXMLDOMElement> element;
    Bstr name(u"e");
    ASSERT_EQ(S_OK, doc->createElement(name.get(), element.out()));
    // The element holds one reference on its document.
    EXPECT_EQ(3u, doc->AddRef());
    EXPECT_EQ(2u, doc->Release());
}

}  // namespace
