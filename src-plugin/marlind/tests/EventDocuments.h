// Event documents the event-model tests share, and what a document that
// failed to load looks like.
#pragma once
#include "TestSupport.h"

namespace marlind_test {

inline const char kSensor[] =
    "<zelk:Analyzer><zelk:Sensor id='7'><zelk:Name>Lab sensor</zelk:Name><zelk:ProductVersion>4.8</zelk:ProductVersion>"
    "<zelk:ProductFamily>Network Sensor</zelk:ProductFamily><zelk:Info>info</zelk:Info>"
    "<zelk:Dhcp>1</zelk:Dhcp></zelk:Sensor>"
    "<zelk:User><zelk:Name>SYSTEM</zelk:Name></zelk:User>"
    "<zelk:Node><zelk:Name>sensor01</zelk:Name><zelk:Address>10.1.2.15</zelk:Address></zelk:Node></zelk:Analyzer>";

inline std::string EventElement(const std::string& classification, const std::string& more = "") {
    return "<zelk:Event><zelk:Classification><zelk:EventClassification>" + classification +
           "</zelk:EventClassification></zelk:Classification>" + more + "</zelk:Event>";
}

inline void ExpectEmptyDocument(const ZELKXML::ECEvent& document) {
    EXPECT_EQ(VT_NULL, document.CreateTime.Type());
    EXPECT_EQ(0, document.Analyzer.Sensor.SensorId);
    EXPECT_EQ(VT_NULL, document.Analyzer.Sensor.Name.Type());
    EXPECT_EQ(0, document.Analyzer.Sensor.DhcpFlag);
    EXPECT_EQ(VT_NULL, document.Analyzer.User.Name.Type());
    EXPECT_EQ(VT_NULL, document.Analyzer.Node.Name.Type());
    EXPECT_EQ(VT_EMPTY, document.Analyzer.Node.Ipv4Address.Type());
    EXPECT_TRUE(document.Events.empty());
}

// Everything before "zelk:Dhcp" stays, everything after keeps its initial value.
inline void ExpectStoppedAtDhcp(const ZELKXML::ECEvent& document) {
    const ZELKXML::Sensor& sensor = document.Analyzer.Sensor;
    EXPECT_EQ(12, sensor.SensorId);
    EXPECT_TRUE(IsText(sensor.Name, "Old sensor"));
    EXPECT_TRUE(IsText(sensor.ProductVersion, "3.0"));
    EXPECT_TRUE(IsText(sensor.ProductFamily, "Network Sensor"));
    EXPECT_TRUE(IsText(sensor.Info, "i"));
    EXPECT_EQ(0, sensor.DhcpFlag);
    EXPECT_EQ(0, sensor.IsDetectionSensor);
    EXPECT_EQ(0, sensor.ElectionRole);
    EXPECT_EQ(VT_NULL, document.Analyzer.User.Name.Type());
    EXPECT_EQ(VT_NULL, document.Analyzer.Node.Name.Type());
    EXPECT_TRUE(document.Events.empty());
    EXPECT_TRUE(IsText(document.CreateTime, "t"));
}

inline std::string SensorWithDhcp(const std::string& dhcpElement) {
    return EventXml(
        "<zelk:CreateTime>t</zelk:CreateTime>"
        "<zelk:Analyzer><zelk:Sensor id='12'><zelk:Name>Old sensor</zelk:Name>"
        "<zelk:ProductVersion>3.0</zelk:ProductVersion><zelk:ProductFamily>Network Sensor</zelk:ProductFamily>"
        "<zelk:Info>i</zelk:Info>" +
        dhcpElement +
        "<zelk:Type>detection</zelk:Type><zelk:ElectionType>server</zelk:ElectionType></zelk:Sensor>"
        "<zelk:User><zelk:Name>SYSTEM</zelk:Name></zelk:User>"
        "<zelk:Node><zelk:Name>sensor02</zelk:Name></zelk:Node></zelk:Analyzer>" +
        EventElement("host.detected.dhcp"));
}

// Payloads that must leave the document empty.

inline std::vector<std::string> NotXmlTexts() {
    return {"   ", "hello", "<", "<?xml version='1.0'?>", std::string("\0\0\0", 3)};
}

inline SafeArrayPtr MakeTwoDimensionalPayload() {
    SAFEARRAYBOUND bounds[2] = {{4, 0}, {4, 0}};
    return SafeArrayPtr(SafeArrayCreate(VT_UI1, 2, bounds));
}

inline std::string TruncatedUtf8Payload() { return EventXml(kSensor) + "\xE6\x9D"; }

inline std::string Utf16PayloadWithByteOrderMark() {
    std::string utf16 = "\xFF\xFE";
    for (char c : EventXml(kSensor)) {
        utf16 += c;
        utf16 += '\0';
    }
    return utf16;
}

inline std::string PayloadWithEmbeddedNul() {
    std::string xml = EventXml(kSensor);
    xml.insert(xml.size() / 2, 1, '\0');
    return xml;
}

// 100,000 nested unknown elements before one detection: the parser may refuse
// the depth, but never crash.
inline std::string DeeplyNestedPayload() {
    const int depth = 100000;
    std::string xml = "<zelk:EventList " + std::string(kNs) + ">" + kSensor;
    for (int i = 0; i < depth; ++i) xml += "<zelk:Extra>";
    for (int i = 0; i < depth; ++i) xml += "</zelk:Extra>";
    return xml + EventElement("host.detected.dhcp") + "</zelk:EventList>";
}

inline std::string PayloadViolatingItsOwnDtd() {
    return "<!DOCTYPE zelk:EventList [<!ELEMENT zelk:EventList (zelk:CreateTime)>"
           "<!ATTLIST zelk:EventList xmlns:zelk CDATA #FIXED 'urn:zelk:event'>"
           "<!ELEMENT zelk:CreateTime (#PCDATA)>]>"
           "<zelk:EventList "
           "xmlns:zelk='urn:zelk:event'><zelk:CreateTime>t</zelk:CreateTime><zelk:Event/></zelk:EventList>";
}

}  // namespace marlind_test
