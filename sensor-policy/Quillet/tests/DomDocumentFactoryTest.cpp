// The document factory: a usable synchronous document, and the flag that
// refuses document type declarations.
#include <gtest/gtest.h>

#include "DomDocumentFactory.h"
#include "QuilletTestSupport.h"

namespace {

using comsupport::Bstr;
using comsupport::ComRef;

bool Loads(const ComRef<IXMLDOMDocument2>& document, const char* text) {
    VARIANT_BOOL loaded = VARIANT_FALSE;
    document->loadXML(Bstr::FromUtf8(text).Get(), &loaded);
    return loaded == VARIANT_TRUE;
}

const char kWithDoctype[] = "<!DOCTYPE Policy [<!ELEMENT Policy ANY>]><Policy/>";

TEST(DomDocumentFactory, HandsOutASynchronousValidatingDocument) {
    ComRef<IXMLDOMDocument2> document;
    ASSERT_EQ(quillet::CreateDomDocument(document, false), S_OK);
    ASSERT_TRUE(document);
    VARIANT_BOOL flag = VARIANT_TRUE;
    ASSERT_EQ(document->get_async(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_FALSE);
    ASSERT_EQ(document->get_validateOnParse(&flag), S_OK);
    EXPECT_EQ(flag, VARIANT_TRUE);
    EXPECT_TRUE(Loads(document, "<Policy><Section name=\"Detection\"/></Policy>"));
    EXPECT_TRUE(Loads(document, kWithDoctype)) << "document type declarations stay at the parser's default";
}

TEST(DomDocumentFactory, ProhibitDtdFlagRefusesDocumentTypeDeclarations) {
    ComRef<IXMLDOMDocument2> document;
    ASSERT_EQ(quillet::CreateDomDocument(document, true), S_OK);
    ASSERT_TRUE(document);
    EXPECT_FALSE(Loads(document, kWithDoctype));
    EXPECT_TRUE(Loads(document, "<Policy/>"));
}

TEST(DomDocumentFactory, EachCallMakesItsOwnDocument) {
    ComRef<IXMLDOMDocument2> first, second;
    ASSERT_EQ(quillet::CreateDomDocument(first, false), S_OK);
    ASSERT_EQ(quillet::CreateDomDocument(second, false), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    ASSERT_TRUE(Loads(first, "<A/>"));
    ComRef<IXMLDOMElement> root;
    ASSERT_EQ(second->get_documentElement(root.Receive()), S_FALSE);
    EXPECT_FALSE(root);
}

}  // namespace
