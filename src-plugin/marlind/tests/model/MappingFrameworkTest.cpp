// The lookups, lists and nested-object rule every mapped class is built on,
// exercised on real parsed documents.
#include <type_traits>

#include "TestSupport.h"
#include "comsupport/ComError.h"

// Mapped objects are values destroyed as their own type: the bases cannot be
// destroyed (or deleted) from outside, and every mapped class copies.
static_assert(!std::is_destructible_v<ZELKXML::XMLMappable>);
static_assert(!std::is_destructible_v<ZELKXML::XMLValidElement>);
static_assert(!std::has_virtual_destructor_v<ZELKXML::XMLMappable>);
static_assert(std::is_copy_constructible_v<ZELKXML::ECEvent> && std::is_copy_assignable_v<ZELKXML::ECEvent>);
static_assert(std::is_copy_constructible_v<ZELKXML::Node> && std::is_copy_assignable_v<ZELKXML::Node>);
static_assert(std::is_copy_constructible_v<ZELKXML::AgentGUID> && std::is_copy_assignable_v<ZELKXML::InetAddress>);
static_assert(std::is_base_of_v<std::deque<ZELKXML::Nic>, ZELKXML::XMLMappableList<ZELKXML::Nic>>);

namespace {
using namespace marlind_test;
using ZELKXML::ReadAttributeLong;
using ZELKXML::ReadAttributeValue;
using ZELKXML::ReadChildValue;

TEST(ReadChildValue, MissingElementGivesNullEvenOverAnEarlierValue) {
    Fragment fragment(Wrapped("zelk:Item", "<zelk:Other>x</zelk:Other>"));
    Variant destination = Variant::FromText(OLESTR("stale"));
    ReadChildValue(fragment.Root(), OLESTR("zelk:Name"), destination);
    EXPECT_EQ(VT_NULL, destination.Type());
}

TEST(ReadChildValue, EmptyElementGivesItsTypedValueNotNull) {
    Fragment fragment(Wrapped("zelk:Item", "<zelk:Name/><zelk:Comment></zelk:Comment>"));
    Variant name, comment;
    ReadChildValue(fragment.Root(), OLESTR("zelk:Name"), name);
    ReadChildValue(fragment.Root(), OLESTR("zelk:Comment"), comment);
    EXPECT_TRUE(IsText(name, ""));
    EXPECT_TRUE(IsText(comment, ""));
}

TEST(ReadChildValue, TakesTheTextUntouched) {
    Fragment fragment(Wrapped("zelk:Item", "<zelk:Name>  spaced &amp; &#x263A; </zelk:Name>"));
    Variant name;
    ReadChildValue(fragment.Root(), OLESTR("zelk:Name"), name);
    EXPECT_TRUE(IsText(name, "  spaced & \xE2\x98\xBA ")) << Utf8(name);
}

TEST(ReadChildValue, FirstOfTwoInDocumentOrder) {
    Fragment fragment(Wrapped("zelk:Item", "<zelk:Name>first</zelk:Name><zelk:Name>second</zelk:Name>"));
    Variant name;
    ReadChildValue(fragment.Root(), OLESTR("zelk:Name"), name);
    EXPECT_TRUE(IsText(name, "first"));
}

TEST(ReadChildValue, OnlyDirectChildrenInTheEventNamespaceCount) {
    Fragment fragment(Wrapped("zelk:Item",
                              "<zelk:Inner><zelk:Name>grandchild</zelk:Name></zelk:Inner>"
                              "<Name>no namespace</Name>"
                              "<other:Name xmlns:other='urn:other'>other namespace</other:Name>"));
    Variant name;
    ReadChildValue(fragment.Root(), OLESTR("zelk:Name"), name);
    EXPECT_EQ(VT_NULL, name.Type());
}

TEST(ReadChildValue, ThePrefixInTheDocumentDoesNotMatter) {
    // The query's prefix is bound to the namespace, whatever prefix the sensor wrote.
    Fragment fragment("<e:Item xmlns:e='urn:zelk:event'><e:Name>mapped</e:Name></e:Item>");
    Variant name;
    ReadChildValue(fragment.Root(), OLESTR("zelk:Name"), name);
    EXPECT_TRUE(IsText(name, "mapped"));

    Fragment defaultNamespace("<Item xmlns='urn:zelk:event'><Name>default</Name></Item>");
    ReadChildValue(defaultNamespace.Root(), OLESTR("zelk:Name"), name);
    EXPECT_TRUE(IsText(name, "default"));
}

TEST(ReadChildValue, DeclaredDataTypesGiveTypedValues) {
    Fragment fragment(Wrapped("zelk:Item",
                              "<zelk:Count dt:dt='i4'>12</zelk:Count>"
                              "<zelk:Data dt:dt='bin.base64'>AQIDBA==</zelk:Data>"));
    Variant count, data;
    ReadChildValue(fragment.Root(), OLESTR("zelk:Count"), count);
    ReadChildValue(fragment.Root(), OLESTR("zelk:Data"), data);
    ASSERT_EQ(VT_I4, count.Type());
    EXPECT_EQ(12, count.Get().lVal);
    EXPECT_EQ((std::vector<unsigned char>{1, 2, 3, 4}), Bytes(data));
}

TEST(ReadChildValue, NullNodeRaisesPointerError) {
    Variant value;
    try {
        ReadChildValue(nullptr, OLESTR("zelk:Name"), value);
        FAIL() << "no exception";
    } catch (const comsupport::ComError& error) {
        EXPECT_EQ(E_POINTER, error.Code());
    }
    EXPECT_EQ(VT_NULL, value.Type());
}

TEST(ReadAttributeValue, ExactNameOrNull) {
    Fragment fragment(Wrapped("zelk:Sensor", ""));
    Fragment withId("<zelk:Sensor xmlns:zelk='urn:zelk:event' id='12' ID='13'/>");
    Variant id = Variant::FromText(OLESTR("stale"));
    ReadAttributeValue(fragment.Root(), OLESTR("id"), id);
    EXPECT_EQ(VT_NULL, id.Type());
    ReadAttributeValue(withId.Root(), OLESTR("id"), id);
    EXPECT_TRUE(IsText(id, "12"));
    ReadAttributeValue(withId.Root(), OLESTR("Id"), id);
    EXPECT_EQ(VT_NULL, id.Type());
}

TEST(ReadAttributeLong, ConvertsOrGivesZero) {
    Fragment fragment("<zelk:Sensor xmlns:zelk='urn:zelk:event' id='12' negative='-3' empty='' word='abc'/>");
    LONG value = 99;
    ReadAttributeLong(fragment.Root(), OLESTR("id"), value);
    EXPECT_EQ(12, value);
    ReadAttributeLong(fragment.Root(), OLESTR("negative"), value);
    EXPECT_EQ(-3, value);
    value = 99;
    ReadAttributeLong(fragment.Root(), OLESTR("missing"), value);
    EXPECT_EQ(0, value);
}

TEST(ReadAttributeLong, TextThatIsNoNumberRaisesAfterResetting) {
    Fragment fragment("<zelk:Sensor xmlns:zelk='urn:zelk:event' empty='' word='abc'/>");
    LONG value = 99;
    EXPECT_THROW(ReadAttributeLong(fragment.Root(), OLESTR("word"), value), comsupport::ComError);
    EXPECT_EQ(0, value);
    // An empty attribute is a string, not EMPTY: it does not convert either.
    EXPECT_THROW(ReadAttributeLong(fragment.Root(), OLESTR("empty"), value), comsupport::ComError);
}

// A mapped class with one scalar, to watch the list and nested rules.
class Named final : public ZELKXML::XMLMappable {
public:
    Variant Name = Variant::Null();
    void map(IXMLDOMNode* node, const OLECHAR*) override { ReadChildValue(node, OLESTR("zelk:Name"), Name); }
};

std::vector<std::string> Names(const ZELKXML::XMLMappableList<Named>& list) {
    std::vector<std::string> names;
    for (const Named& item : list) names.push_back(item.Name.IsNull() ? "(null)" : Utf8(item.Name));
    return names;
}

TEST(XMLMappableList, TakesEveryMatchingChildInOrder) {
    Fragment fragment(Wrapped("zelk:Source",
                              "<zelk:User><zelk:Name>a</zelk:Name></zelk:User>"
                              "<zelk:Other/>"
                              "<zelk:User/>"
                              "<zelk:User><zelk:Name>c</zelk:Name><zelk:Name>d</zelk:Name></zelk:User>"));
    ZELKXML::XMLMappableList<Named> users;
    users.map(fragment.Root(), OLESTR("zelk:User"));
    EXPECT_EQ((std::vector<std::string>{"a", "(null)", "c"}), Names(users));
}

TEST(XMLMappableList, NullOrEmptyNameClearsAndReadsNothing) {
    Fragment fragment(Wrapped("zelk:Source", "<zelk:User><zelk:Name>a</zelk:Name></zelk:User>"));
    ZELKXML::XMLMappableList<Named> users;
    users.map(fragment.Root(), OLESTR("zelk:User"));
    ASSERT_EQ(1u, users.size());
    users.map(fragment.Root(), nullptr);
    EXPECT_TRUE(users.empty());
    users.map(fragment.Root(), OLESTR("zelk:User"));
    users.map(fragment.Root(), OLESTR(""));
    EXPECT_TRUE(users.empty());
}

TEST(XMLMappableList, MappingAgainKeepsOnlyTheSecondNodesElements) {
    Fragment first(
        Wrapped("zelk:Source",
                "<zelk:User><zelk:Name>a</zelk:Name></zelk:User><zelk:User><zelk:Name>b</zelk:Name></zelk:User>"));
    Fragment second(Wrapped("zelk:Source", "<zelk:User><zelk:Name>z</zelk:Name></zelk:User>"));
    Fragment none(Wrapped("zelk:Source", ""));
    ZELKXML::XMLMappableList<Named> users;
    users.map(first.Root(), OLESTR("zelk:User"));
    users.map(second.Root(), OLESTR("zelk:User"));
    EXPECT_EQ((std::vector<std::string>{"z"}), Names(users));
    users.map(none.Root(), OLESTR("zelk:User"));
    EXPECT_TRUE(users.empty());
}

TEST(XMLMappableList, IsADoubleEndedQueueOfValues) {
    Fragment fragment(
        Wrapped("zelk:Source",
                "<zelk:User><zelk:Name>a</zelk:Name></zelk:User><zelk:User><zelk:Name>b</zelk:Name></zelk:User>"));
    ZELKXML::XMLMappableList<Named> users;
    users.map(fragment.Root(), OLESTR("zelk:User"));
    ZELKXML::XMLMappableList<Named> copy = users;
    copy.push_front(Named());
    copy[1].Name = Variant::FromText(OLESTR("changed"));
    EXPECT_EQ((std::vector<std::string>{"(null)", "changed", "b"}), Names(copy));
    EXPECT_EQ((std::vector<std::string>{"a", "b"}), Names(users));
}

// A mapped class with a nested member, for the nested-object rule.
class Holder final : public ZELKXML::XMLMappable {
public:
    Named Inner;
    Variant Label = Variant::Null();
    void map(IXMLDOMNode* node, const OLECHAR*) override {
        ZELKXML::MapChildIfPresent(node, OLESTR("zelk:Inner"), Inner);
        ReadChildValue(node, OLESTR("zelk:Label"), Label);
    }
};

TEST(NestedObjects, MissingElementKeepsTheMembersValuesWhileScalarsReset) {
    Fragment full(
        Wrapped("zelk:Holder", "<zelk:Inner><zelk:Name>kept</zelk:Name></zelk:Inner><zelk:Label>l</zelk:Label>"));
    Fragment bare(Wrapped("zelk:Holder", ""));
    Holder holder;
    holder.map(full.Root(), nullptr);
    holder.map(bare.Root(), nullptr);
    EXPECT_TRUE(IsText(holder.Inner.Name, "kept"));
    EXPECT_EQ(VT_NULL, holder.Label.Type());
}

TEST(NestedObjects, FirstOfTwoElements) {
    Fragment fragment(Wrapped("zelk:Holder",
                              "<zelk:Inner><zelk:Name>one</zelk:Name></zelk:Inner>"
                              "<zelk:Inner><zelk:Name>two</zelk:Name></zelk:Inner>"));
    Holder holder;
    holder.map(fragment.Root(), nullptr);
    EXPECT_TRUE(IsText(holder.Inner.Name, "one"));
}

TEST(XMLValidElement, StoresTheWholeTypedValueOfItsElement) {
    Fragment fragment(Wrapped("zelk:Node",
                              "<zelk:AgentGUID>{6F9619FF-8B86-D011-B42D-00C04FC964FF}</zelk:AgentGUID>"
                              "<zelk:Address>not an address</zelk:Address>"));
    ZELKXML::AgentGUID guid;
    EXPECT_EQ(VT_NULL, guid.value.Type());
    guid.map(ZELKXML::SelectFirstChild(fragment.Root(), OLESTR("zelk:AgentGUID")).Get(), nullptr);
    EXPECT_TRUE(IsText(guid.value, "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"));
    // No syntax check: whatever the element holds is stored.
    ZELKXML::InetAddress address;
    address.map(ZELKXML::SelectFirstChild(fragment.Root(), OLESTR("zelk:Address")).Get(), OLESTR("ignored"));
    EXPECT_TRUE(IsText(address.value, "not an address"));
}

TEST(XMLValidElement, StoreCopiesDeeply) {
    ZELKXML::InetAddress address;
    Variant source = Variant::FromText(OLESTR("10.1.2.3"));
    address.store(source.Get(), address.value);
    source.Clear();
    EXPECT_TRUE(IsText(address.value, "10.1.2.3"));
}

TEST(DocumentSettings, BindTheEventPrefixForQueries) {
    ZELKXML::DocumentRef document = ZELKXML::CreateEventDocument(ZELKXML::kCLSID_DOMDocument);
    ZELKXML::ApplyParsingSettings(document);
    ZELKXML::BindEventNamespace(document);
    comsupport::Bstr name(OLESTR("SelectionNamespaces"));
    Variant binding;
    document.Call(&IXMLDOMDocument2::getProperty, name.Get(), binding.Receive());
    EXPECT_TRUE(IsText(binding, "xmlns:zelk='urn:zelk:event'"));
    VARIANT_BOOL flag = VARIANT_TRUE;
    document.Call(&IXMLDOMDocument2::get_async, &flag);
    EXPECT_EQ(VARIANT_FALSE, flag);
    document.Call(&IXMLDOMDocument2::get_validateOnParse, &flag);
    EXPECT_EQ(VARIANT_TRUE, flag);
}
}  // namespace
