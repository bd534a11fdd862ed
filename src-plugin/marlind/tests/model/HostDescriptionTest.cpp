// A "zelk:Node" element mapped onto Node, its interfaces and operating system.
#include "TestSupport.h"
#include "comsupport/ComError.h"

namespace {
using namespace marlind_test;
using ZELKXML::Node;

Node MapNode(const std::string& body) {
    Fragment fragment(Wrapped("zelk:Node", body));
    Node node;
    node.map(fragment.Root(), nullptr);
    return node;
}

std::string DeviceTypeOf(const std::string& osTypeBody) {
    Node node = MapNode("<zelk:OSType>" + osTypeBody + "</zelk:OSType>");
    return Utf8(node.OSType.DeviceType);
}

TEST(Node, StartsNullExceptTheSubnetFieldsWhichStartEmpty) {
    Node node;
    for (const Variant* field :
         {&node.AgentGUID.value, &node.Name, &node.GroupName, &node.NetBIOSName, &node.Comment, &node.Address,
          &node.MACAddress, &node.SubnetMask, &node.NetworkAddress, &node.OSType.Platform, &node.OSType.Family,
          &node.OSType.Version, &node.OSType.DeviceType})
        EXPECT_EQ(VT_NULL, field->Type());
    for (const Variant* field : {&node.Ipv4Address, &node.Ipv4SubnetMask, &node.Ipv4SubnetAddress, &node.Ipv6Address,
                                 &node.Ipv6SubnetMask, &node.Ipv6SubnetAddress})
        EXPECT_EQ(VT_EMPTY, field->Type());
    EXPECT_TRUE(node.Interfaces.empty());
    ZELKXML::Nic nic;
    for (const Variant* field : {&nic.MACAddress, &nic.Address.value, &nic.SubnetMask, &nic.NetworkAddress})
        EXPECT_EQ(VT_NULL, field->Type());
}

TEST(Node, MapsEveryFieldFromItsElement) {
    Node node = MapNode(
        "<zelk:AgentGUID>{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}</zelk:AgentGUID>"
        "<zelk:Name>ws042.lab.example.com</zelk:Name>"
        "<zelk:OSType><zelk:Platform>Linux</zelk:Platform><zelk:Family>Debian</zelk:Family>"
        "<zelk:Version>7.0</zelk:Version></zelk:OSType>"
        "<zelk:GroupName>LAB</zelk:GroupName><zelk:NetBIOSName>WS042</zelk:NetBIOSName>"
        "<zelk:Comment>Accounting</zelk:Comment><zelk:MACAddress>00:50:56:AB:CD:01</zelk:MACAddress>"
        "<zelk:Address>10.1.2.42</zelk:Address><zelk:SubnetMask>255.255.255.0</zelk:SubnetMask>"
        "<zelk:NetworkAddress>10.1.2.0</zelk:NetworkAddress>"
        "<zelk:Ipv4Address>10.1.2.42</zelk:Ipv4Address><zelk:Ipv4SubnetMask>255.255.255.0</zelk:Ipv4SubnetMask>"
        "<zelk:Ipv4SubnetAddress>10.1.2.0</zelk:Ipv4SubnetAddress><zelk:Ipv6Address>fe80::1</zelk:Ipv6Address>"
        "<zelk:Ipv6SubnetMask>ffff:ffff:ffff:ffff::</zelk:Ipv6SubnetMask>"
        "<zelk:Ipv6SubnetAddress>fe80::</zelk:Ipv6SubnetAddress>");
    EXPECT_TRUE(IsText(node.AgentGUID.value, "{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}"));
    EXPECT_TRUE(IsText(node.Name, "ws042.lab.example.com"));
    EXPECT_TRUE(IsText(node.OSType.Platform, "Linux"));
    EXPECT_TRUE(IsText(node.OSType.Family, "Debian"));
    EXPECT_TRUE(IsText(node.OSType.Version, "7.0"));
    EXPECT_TRUE(IsText(node.OSType.DeviceType, "computer"));
    EXPECT_TRUE(IsText(node.GroupName, "LAB"));
    EXPECT_TRUE(IsText(node.NetBIOSName, "WS042"));
    EXPECT_TRUE(IsText(node.Comment, "Accounting"));
    EXPECT_TRUE(IsText(node.MACAddress, "00:50:56:AB:CD:01"));
    EXPECT_TRUE(IsText(node.Address, "10.1.2.42"));
    EXPECT_TRUE(IsText(node.SubnetMask, "255.255.255.0"));
    EXPECT_TRUE(IsText(node.NetworkAddress, "10.1.2.0"));
    EXPECT_TRUE(IsText(node.Ipv4Address, "10.1.2.42"));
    EXPECT_TRUE(IsText(node.Ipv4SubnetMask, "255.255.255.0"));
    EXPECT_TRUE(IsText(node.Ipv4SubnetAddress, "10.1.2.0"));
    EXPECT_TRUE(IsText(node.Ipv6Address, "fe80::1"));
    EXPECT_TRUE(IsText(node.Ipv6SubnetMask, "ffff:ffff:ffff:ffff::"));
    EXPECT_TRUE(IsText(node.Ipv6SubnetAddress, "fe80::"));
}

TEST(Node, AbsentSubnetFieldsBecomeNullAfterMapping) {
    Node node = MapNode("<zelk:Name>bare</zelk:Name>");
    for (const Variant* field : {&node.Ipv4Address, &node.Ipv4SubnetMask, &node.Ipv4SubnetAddress, &node.Ipv6Address,
                                 &node.Ipv6SubnetMask, &node.Ipv6SubnetAddress})
        EXPECT_EQ(VT_NULL, field->Type());
    // No OSType element: the device type is NULL, not "unknown".
    EXPECT_EQ(VT_NULL, node.OSType.DeviceType.Type());
    EXPECT_EQ(VT_NULL, node.AgentGUID.value.Type());
    EXPECT_TRUE(node.Interfaces.empty());
}

TEST(Node, FirstOfRepeatedSingleElements) {
    Node node = MapNode(
        "<zelk:Name>first</zelk:Name><zelk:Name>second</zelk:Name>"
        "<zelk:AgentGUID>{A}</zelk:AgentGUID><zelk:AgentGUID>{B}</zelk:AgentGUID>"
        "<zelk:OSType><zelk:Platform>Router</zelk:Platform></zelk:OSType>"
        "<zelk:OSType><zelk:Platform>Linux</zelk:Platform></zelk:OSType>");
    EXPECT_TRUE(IsText(node.Name, "first"));
    EXPECT_TRUE(IsText(node.AgentGUID.value, "{A}"));
    EXPECT_TRUE(IsText(node.OSType.DeviceType, "router"));
}

TEST(Node, InterfacesInDocumentOrder) {
    Node node = MapNode(
        "<zelk:Interface><zelk:MACAddress>00:00:00:00:00:01</zelk:MACAddress><zelk:Address>10.0.0.1</zelk:Address>"
        "<zelk:SubnetMask>255.0.0.0</zelk:SubnetMask><zelk:NetworkAddress>10.0.0.0</zelk:NetworkAddress></"
        "zelk:Interface>"
        "<zelk:Name>between</zelk:Name>"
        "<zelk:Interface><zelk:MACAddress>00:00:00:00:00:02</zelk:MACAddress></zelk:Interface>"
        "<zelk:Interface><zelk:Address>fe80::2</zelk:Address><zelk:Address>ignored</zelk:Address></zelk:Interface>");
    ASSERT_EQ(3u, node.Interfaces.size());
    EXPECT_TRUE(IsText(node.Interfaces[0].MACAddress, "00:00:00:00:00:01"));
    EXPECT_TRUE(IsText(node.Interfaces[0].Address.value, "10.0.0.1"));
    EXPECT_TRUE(IsText(node.Interfaces[0].SubnetMask, "255.0.0.0"));
    EXPECT_TRUE(IsText(node.Interfaces[0].NetworkAddress, "10.0.0.0"));
    EXPECT_TRUE(IsText(node.Interfaces[1].MACAddress, "00:00:00:00:00:02"));
    EXPECT_EQ(VT_NULL, node.Interfaces[1].Address.value.Type());
    EXPECT_EQ(VT_NULL, node.Interfaces[1].SubnetMask.Type());
    EXPECT_EQ(VT_NULL, node.Interfaces[2].MACAddress.Type());
    EXPECT_TRUE(IsText(node.Interfaces[2].Address.value, "fe80::2"));
}

TEST(Node, InterfaceAddressesOfTheNodeAreNotItsOwn) {
    // The node's own Address is a direct child; interface addresses do not leak into it.
    Node node = MapNode("<zelk:Interface><zelk:Address>10.0.0.1</zelk:Address></zelk:Interface>");
    EXPECT_EQ(VT_NULL, node.Address.Type());
}

TEST(Node, MappingAgainOverwritesScalarsAndListsButKeepsSelectedMembers) {
    Fragment first(
        Wrapped("zelk:Node",
                "<zelk:AgentGUID>{A}</zelk:AgentGUID><zelk:Name>one</zelk:Name>"
                "<zelk:OSType><zelk:Platform>Printer</zelk:Platform><zelk:Version>2</zelk:Version></zelk:OSType>"
                "<zelk:Interface/><zelk:Interface/>"));
    Fragment second(Wrapped("zelk:Node", "<zelk:GroupName>G</zelk:GroupName><zelk:Interface/>"));
    Node node;
    node.map(first.Root(), nullptr);
    node.map(second.Root(), nullptr);
    EXPECT_EQ(VT_NULL, node.Name.Type());
    EXPECT_TRUE(IsText(node.GroupName, "G"));
    EXPECT_EQ(1u, node.Interfaces.size());
    // Elements read by selection keep their values when absent.
    EXPECT_TRUE(IsText(node.AgentGUID.value, "{A}"));
    EXPECT_TRUE(IsText(node.OSType.Platform, "Printer"));
    EXPECT_TRUE(IsText(node.OSType.DeviceType, "printer"));
}

TEST(OSType, DeviceTypeIsResetOnEveryMap) {
    Fragment printer(Wrapped("zelk:OSType", "<zelk:Platform>Printer</zelk:Platform>"));
    Fragment noPlatform(Wrapped("zelk:OSType", "<zelk:Family>Mobile</zelk:Family>"));
    ZELKXML::OSType os;
    os.map(printer.Root(), nullptr);
    EXPECT_TRUE(IsText(os.DeviceType, "printer"));
    os.map(noPlatform.Root(), nullptr);
    EXPECT_EQ(VT_NULL, os.Platform.Type());
    EXPECT_TRUE(IsText(os.DeviceType, "unknown"));
}

TEST(OSType, DeviceTypesFromDocuments) {
    // The table itself is checked in HostValuesTest; here: what the DOM hands it.
    EXPECT_EQ("mobile", DeviceTypeOf("<zelk:Platform>Windows</zelk:Platform><zelk:Family>Mobile</zelk:Family>"));
    EXPECT_EQ("computer", DeviceTypeOf("<zelk:Platform>Windows</zelk:Platform><zelk:Family>mobile</zelk:Family>"));
    EXPECT_EQ("computer", DeviceTypeOf("<zelk:Platform>Linux|BSD</zelk:Platform>"));
    EXPECT_EQ("unknown", DeviceTypeOf("<zelk:Platform></zelk:Platform>"));
    EXPECT_EQ("unknown", DeviceTypeOf("<zelk:Family>Windows</zelk:Family>"));
    // A typed platform is not a string: unknown.
    EXPECT_EQ("unknown", DeviceTypeOf("<zelk:Platform dt:dt='i4'>7</zelk:Platform>"));
}

// The platform is compared as the DOM hands it, white space included.
TEST(OSType, APaddedPlatformIsNotRecognised) {
    EXPECT_EQ("unknown", DeviceTypeOf("<zelk:Platform> Linux </zelk:Platform>"));
}

TEST(Node, CopiesAreDeepAndIndependent) {
    Node original = MapNode(
        "<zelk:AgentGUID>{A}</zelk:AgentGUID><zelk:Name>n</zelk:Name>"
        "<zelk:OSType><zelk:Platform>Linux</zelk:Platform></zelk:OSType>"
        "<zelk:Interface><zelk:Address>10.0.0.1</zelk:Address></zelk:Interface>");
    Node copy = original;
    EXPECT_NE(original.Name.Get().bstrVal, copy.Name.Get().bstrVal);
    EXPECT_NE(original.Interfaces[0].Address.value.Get().bstrVal, copy.Interfaces[0].Address.value.Get().bstrVal);
    original.Name = Variant::FromText(OLESTR("changed"));
    original.Interfaces.clear();
    original.AgentGUID.value.Clear();
    EXPECT_TRUE(IsText(copy.Name, "n"));
    EXPECT_TRUE(IsText(copy.AgentGUID.value, "{A}"));
    EXPECT_TRUE(IsText(copy.OSType.DeviceType, "computer"));
    ASSERT_EQ(1u, copy.Interfaces.size());
    EXPECT_TRUE(IsText(copy.Interfaces[0].Address.value, "10.0.0.1"));
    Node assigned;
    assigned = copy;
    copy = Node();
    EXPECT_TRUE(IsText(assigned.Interfaces[0].Address.value, "10.0.0.1"));
    EXPECT_EQ(VT_EMPTY, copy.Ipv6Address.Type());
}

TEST(Node, NullElementRaisesPointerError) {
    Node node;
    try {
        node.map(nullptr, nullptr);
        FAIL() << "no exception";
    } catch (const comsupport::ComError& error) {
        EXPECT_EQ(E_POINTER, error.Code());
    }
}
}  // namespace
