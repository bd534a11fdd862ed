// Every sample document under samples/events, loaded as a payload and as a file.
#include <cstdio>

#include "TestSupport.h"
#include "model/ValueConversions.h"

namespace {
using namespace marlind_test;
using ZELKXML::ECEvent;

// A dump of every mapped value, to compare two loads of the same document.
std::string Describe(const Variant& value) {
    switch (value.Type()) {
        case VT_EMPTY: return "EMPTY";
        case VT_NULL: return "NULL";
        case VT_BSTR: return "'" + Utf8(value) + "'";
        case VT_ARRAY | VT_UI1: {
            std::string hex = "bytes:";
            char digits[3];
            for (unsigned char b : Bytes(value)) {
                std::snprintf(digits, sizeof digits, "%02X", b);
                hex += digits;
            }
            return hex;
        }
        default: return "vt" + std::to_string(value.Type());
    }
}

std::string Describe(const ZELKXML::Node& node) {
    std::string text = "node{" + Describe(node.AgentGUID.value) + Describe(node.Name) + Describe(node.GroupName) +
                       Describe(node.NetBIOSName) + Describe(node.Comment) + Describe(node.Address) +
                       Describe(node.MACAddress) + Describe(node.SubnetMask) + Describe(node.NetworkAddress) + "os{" +
                       Describe(node.OSType.Platform) + Describe(node.OSType.Family) + Describe(node.OSType.Version) +
                       Describe(node.OSType.DeviceType) + "}";
    for (const ZELKXML::Nic& nic : node.Interfaces)
        text += "nic{" + Describe(nic.MACAddress) + Describe(nic.Address.value) + Describe(nic.SubnetMask) +
                Describe(nic.NetworkAddress) + "}";
    for (const Variant* v : {&node.Ipv4Address, &node.Ipv4SubnetMask, &node.Ipv4SubnetAddress, &node.Ipv6Address,
                             &node.Ipv6SubnetMask, &node.Ipv6SubnetAddress})
        text += Describe(*v);
    return text + "}";
}

std::string Describe(const ECEvent& document) {
    const ZELKXML::Sensor& s = document.Analyzer.Sensor;
    std::string text = Describe(document.CreateTime) + "sensor{" + std::to_string(s.SensorId) + Describe(s.Name) +
                       Describe(s.ProductVersion) + Describe(s.ProductFamily) + Describe(s.Info) +
                       std::to_string(s.IsDetectionSensor) + std::to_string(s.ElectionRole) +
                       std::to_string(s.DhcpFlag) + "}" + Describe(document.Analyzer.User.Name) +
                       Describe(document.Analyzer.Node);
    for (const ZELKXML::Event& event : document.Events) {
        text += "event{" + Describe(event.DetectTime) + Describe(event.Source.Node) +
                Describe(event.Source.UserNames()) + Describe(event.Classification.EventClassification);
        for (const ZELKXML::Plugin& p : event.Plugins)
            text += "plugin{" + Describe(p.PluginName) + Describe(p.PluginVersion) + Describe(p.PluginData) +
                    Describe(p.OndrixEventTypeId) + "}";
        text += "}";
    }
    return text;
}

ECEvent LoadSampleFile(const std::string& name) {
    ECEvent document;
    document.LoadFromFile(Ole(SamplePath(name)).c_str());
    return document;
}

// Loads a sample both ways; they must agree. Returns the payload load.
ECEvent LoadSample(const std::string& name) {
    ECEvent fromPayload = LoadPayload(ReadFileBytes(SamplePath(name)));
    ECEvent fromFile = LoadSampleFile(name);
    EXPECT_EQ(Describe(fromFile), Describe(fromPayload)) << name;
    return fromPayload;
}

void ExpectLabSensor(const ECEvent& document) {
    EXPECT_TRUE(IsText(document.CreateTime, "2013-03-08T13:47:20.123Z"));
    const ZELKXML::Sensor& sensor = document.Analyzer.Sensor;
    EXPECT_EQ(7, sensor.SensorId);
    EXPECT_TRUE(IsText(sensor.Name, "Lab sensor"));
    EXPECT_TRUE(IsText(sensor.ProductVersion, "4.8.0.1102"));
    EXPECT_TRUE(IsText(sensor.ProductFamily, "Network Sensor"));
    EXPECT_EQ(1, sensor.DhcpFlag);
    EXPECT_EQ(1, sensor.IsDetectionSensor);
    EXPECT_EQ(1, sensor.ElectionRole);
    EXPECT_TRUE(IsText(document.Analyzer.User.Name, "NT AUTHORITY\\SYSTEM"));
    const ZELKXML::Node& host = document.Analyzer.Node;
    EXPECT_TRUE(IsText(host.AgentGUID.value, "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"));
    EXPECT_TRUE(IsText(host.Name, "sensor01.lab.example.com"));
    EXPECT_TRUE(IsText(host.OSType.DeviceType, "computer"));
    EXPECT_TRUE(IsText(host.NetworkAddress, "10.1.2.0"));
    EXPECT_TRUE(IsText(host.SubnetMask, "255.255.255.0"));
}

TEST(Samples, SensorWithOneSubnet) {
    ECEvent document = LoadSample("sensor-one-subnet.xml");
    ExpectLabSensor(document);
    const ZELKXML::Node& host = document.Analyzer.Node;
    EXPECT_EQ(1u, host.Interfaces.size());
    EXPECT_EQ(VT_NULL, host.Ipv4SubnetAddress.Type());
    EXPECT_EQ(VT_NULL, host.Ipv6SubnetAddress.Type());
    ASSERT_EQ(1u, document.Events.size());
    const ZELKXML::Event& event = document.Events[0];
    EXPECT_TRUE(IsText(event.Classification.EventClassification, "host.detected.dhcp"));
    EXPECT_TRUE(IsText(event.Source.UserNames(), "LAB\\jdoe"));
    EXPECT_TRUE(IsText(event.Source.Node.Name, "laptop17.lab.example.com"));
    EXPECT_TRUE(IsText(ZELKXML::NormalizeMACText(event.Source.Node.MACAddress), "0024E8112233"));
}

TEST(Samples, SensorWithTwoSubnets) {
    ECEvent document = LoadSample("sensor-two-subnets.xml");
    ExpectLabSensor(document);
    const ZELKXML::Node& host = document.Analyzer.Node;
    EXPECT_EQ(2u, host.Interfaces.size());
    EXPECT_TRUE(IsText(host.Ipv4SubnetAddress, "172.16.40.0"));
    EXPECT_TRUE(IsText(host.Ipv4SubnetMask, "255.255.252.0"));
    EXPECT_EQ(VT_NULL, host.Ipv6SubnetAddress.Type());
    EXPECT_EQ(VT_NULL, host.Ipv6SubnetMask.Type());
}

TEST(Samples, SensorWithThreeSubnets) {
    ECEvent document = LoadSample("sensor-three-subnets.xml");
    ExpectLabSensor(document);
    const ZELKXML::Node& host = document.Analyzer.Node;
    EXPECT_TRUE(IsText(host.Ipv4SubnetAddress, "172.16.40.0"));
    EXPECT_TRUE(IsText(host.Ipv6SubnetAddress, "2001:db8:0:12::"));
    EXPECT_TRUE(IsText(host.Ipv6SubnetMask, "ffff:ffff:ffff:ffff::"));
    // The compressed subnet texts become their own 16 bytes, not the zero address.
    EXPECT_EQ((std::vector<unsigned char>{0x20, 0x01, 0x0D, 0xB8, 0, 0, 0, 0x12, 0, 0, 0, 0, 0, 0, 0, 0}),
              Bytes(ZELKXML::AddressTextToBytes(host.Ipv6SubnetAddress.Get())));
    EXPECT_EQ((std::vector<unsigned char>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}),
              Bytes(ZELKXML::AddressTextToBytes(host.Ipv6SubnetMask.Get())));
}

TEST(Samples, DetectionsOfEveryDeviceType) {
    ECEvent document = LoadSample("detections-every-device-type.xml");
    ExpectLabSensor(document);
    ASSERT_EQ(8u, document.Events.size());
    const char* deviceTypes[] = {"mobile", "computer", "printer", "router", "unknown", "mobile", "computer", nullptr};
    const char* classifications[] = {"dhcp",      "broadcast", "dhcp",      "broadcast",
                                     "broadcast", "dhcp",      "broadcast", "dhcp"};
    const size_t interfaces[] = {2, 3, 2, 2, 2, 2, 2, 2};
    const size_t plugins[] = {1, 2, 1, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < 8; ++i) {
        const ZELKXML::Event& event = document.Events[i];
        if (deviceTypes[i])
            EXPECT_TRUE(IsText(event.Source.Node.OSType.DeviceType, deviceTypes[i])) << i;
        else
            EXPECT_EQ(VT_NULL, event.Source.Node.OSType.DeviceType.Type()) << i;
        EXPECT_TRUE(
            IsText(event.Classification.EventClassification, std::string("host.detected.") + classifications[i]))
            << i;
        EXPECT_EQ(interfaces[i], event.Source.Node.Interfaces.size()) << i;
        EXPECT_EQ(plugins[i], event.Plugins.size()) << i;
        EXPECT_EQ(VT_BSTR, event.DetectTime.Type()) << i;
        EXPECT_EQ(VT_DATE, ZELKXML::TimeTextToDate(event.DetectTime.Get().bstrVal).Type()) << i;
    }
    EXPECT_TRUE(IsText(document.Events[0].Source.UserNames(), "anna"));
    EXPECT_TRUE(IsText(document.Events[1].Source.UserNames(), "LAB\\jdoe,LAB\\msmith,LAB\\Administrator"));
    EXPECT_EQ(VT_NULL, document.Events[2].Source.UserNames().Type());
    EXPECT_TRUE(IsText(document.Events[5].Source.UserNames(), "scanner,warehouse"));
    EXPECT_TRUE(IsText(document.Events[6].Source.UserNames(), "lee,"));

    // Plug-in blocks carry their data as bytes.
    const ZELKXML::Plugin& fingerprint = document.Events[1].Plugins[0];
    EXPECT_TRUE(IsText(fingerprint.PluginName, "OS Fingerprint"));
    EXPECT_TRUE(IsText(fingerprint.OndrixEventTypeId, "30001"));
    std::vector<unsigned char> expected(48);
    for (unsigned char i = 0; i < 48; ++i) expected[i] = i;
    EXPECT_EQ(expected, Bytes(fingerprint.PluginData));
    EXPECT_EQ(10u, Bytes(document.Events[0].Plugins[0].PluginData).size());

    // Sensors' MAC spellings normalise as they stand.
    EXPECT_TRUE(IsText(ZELKXML::NormalizeMACText(document.Events[4].Source.Node.MACAddress), "00-1E-13-AA-BB-CC"));
    EXPECT_TRUE(
        IsText(ZELKXML::NormalizeMACText(document.Events[1].Source.Node.Interfaces[0].MACAddress), "005056ABCD01"));
    // The detected node's agent identity is carried when the machine runs an agent.
    EXPECT_TRUE(IsText(document.Events[1].Source.Node.AgentGUID.value, "{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}"));
    EXPECT_EQ(VT_NULL, document.Events[0].Source.Node.AgentGUID.value.Type());
}

TEST(Samples, OtherClassification) {
    ECEvent document = LoadSample("other-classification.xml");
    ASSERT_EQ(1u, document.Events.size());
    EXPECT_TRUE(IsText(document.Events[0].Classification.EventClassification, "host.os.changed"));
    EXPECT_EQ(1u, document.Events[0].Plugins.size());
}

TEST(Samples, NoClassification) {
    ECEvent document = LoadSample("no-classification.xml");
    ASSERT_EQ(1u, document.Events.size());
    EXPECT_EQ(VT_EMPTY, document.Events[0].Classification.EventClassification.Type());
}

TEST(Samples, SensorWithoutDhcpHasNoEvents) {
    ECEvent document = LoadSample("sensor-without-dhcp.xml");
    EXPECT_EQ(12, document.Analyzer.Sensor.SensorId);
    EXPECT_TRUE(IsText(document.Analyzer.Sensor.Name, "Old sensor"));
    EXPECT_EQ(0, document.Analyzer.Sensor.ElectionRole);
    EXPECT_EQ(VT_NULL, document.Analyzer.User.Name.Type());
    EXPECT_EQ(VT_NULL, document.Analyzer.Node.AgentGUID.value.Type());
    EXPECT_TRUE(document.Events.empty());
}

TEST(Samples, TenDetections) {
    ECEvent document = LoadSample("ten-detections.xml");
    ASSERT_EQ(10u, document.Events.size());
    for (const ZELKXML::Event& event : document.Events) EXPECT_EQ(2u, event.Source.Node.Interfaces.size());
}

TEST(Samples, MalformedAndEmptyDocumentsLeaveTheDocumentEmpty) {
    for (const char* name : {"empty.xml", "truncated.xml", "mismatched-tags.xml"}) {
        ECEvent document = LoadSample(name);
        EXPECT_EQ(VT_NULL, document.CreateTime.Type()) << name;
        EXPECT_EQ(0, document.Analyzer.Sensor.SensorId) << name;
        EXPECT_TRUE(document.Events.empty()) << name;
    }
}
// Validation is on: the document is refused like a malformed one.
TEST(Samples, ADocumentViolatingItsOwnDtdIsLeftEmpty) {
    ECEvent document = LoadSample("violates-own-dtd.xml");
    EXPECT_EQ(VT_NULL, document.CreateTime.Type());
    EXPECT_EQ(0, document.Analyzer.Sensor.SensorId);
    EXPECT_TRUE(document.Events.empty());
}
}  // namespace
