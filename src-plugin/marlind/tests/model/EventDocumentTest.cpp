// Event documents loaded from payload bytes and files as the message handler
// and the self-test pass them.
#include <memory>

#include "EventDocuments.h"

namespace {
using namespace marlind_test;
using ZELKXML::ECEvent;

ZELKXML::Sensor SensorOf(const std::string& sensorBody, const std::string& attributes = " id='3'") {
    ECEvent document = LoadPayload(
        EventXml("<zelk:Analyzer><zelk:Sensor" + attributes + ">" + sensorBody + "</zelk:Sensor></zelk:Analyzer>"));
    return document.Analyzer.Sensor;
}

TEST(EventDocument, StartsEmpty) {
    ECEvent document;
    ExpectEmptyDocument(document);
    EXPECT_EQ(0, document.Analyzer.Sensor.IsDetectionSensor);
    EXPECT_EQ(0, document.Analyzer.Sensor.ElectionRole);
    ZELKXML::Event event;
    EXPECT_EQ(VT_NULL, event.DetectTime.Type());
    EXPECT_EQ(VT_EMPTY, event.Classification.EventClassification.Type());
    EXPECT_TRUE(event.Plugins.empty());
    EXPECT_TRUE(event.Source.Users.empty());
    ZELKXML::Plugin plugin;
    for (const Variant* field :
         {&plugin.PluginName, &plugin.PluginVersion, &plugin.PluginData, &plugin.OndrixEventTypeId})
        EXPECT_EQ(VT_NULL, field->Type());
}

TEST(EventDocument, MapsTheAnalyzer) {
    ECEvent document =
        LoadPayload(EventXml("<zelk:CreateTime>2013-03-08T13:47:20Z</zelk:CreateTime>" + std::string(kSensor)));
    EXPECT_TRUE(IsText(document.CreateTime, "2013-03-08T13:47:20Z"));
    const ZELKXML::Sensor& sensor = document.Analyzer.Sensor;
    EXPECT_EQ(7, sensor.SensorId);
    EXPECT_TRUE(IsText(sensor.Name, "Lab sensor"));
    EXPECT_TRUE(IsText(sensor.ProductVersion, "4.8"));
    EXPECT_TRUE(IsText(sensor.ProductFamily, "Network Sensor"));
    EXPECT_TRUE(IsText(sensor.Info, "info"));
    EXPECT_EQ(1, sensor.DhcpFlag);
    EXPECT_EQ(1, sensor.IsDetectionSensor);
    EXPECT_EQ(0, sensor.ElectionRole);
    EXPECT_TRUE(IsText(document.Analyzer.User.Name, "SYSTEM"));
    EXPECT_TRUE(IsText(document.Analyzer.Node.Name, "sensor01"));
    EXPECT_TRUE(IsText(document.Analyzer.Node.Address, "10.1.2.15"));
}

TEST(EventDocument, RootElementOfAnyNameIsMapped) {
    for (const char* root : {"zelk:EventList", "Events", "other:Upload"}) {
        std::string xml = std::string("<") + root + " " + kNs + " xmlns:other='urn:other'>" +
                          "<zelk:CreateTime>t</zelk:CreateTime>" + EventElement("host.detected.dhcp") + "</" + root +
                          ">";
        ECEvent document = LoadPayload(xml);
        EXPECT_TRUE(IsText(document.CreateTime, "t")) << root;
        EXPECT_EQ(1u, document.Events.size()) << root;
    }
}

TEST(EventDocument, EventsInDocumentOrder) {
    ECEvent two = LoadPayload(
        EventXml(std::string(kSensor) + EventElement("host.detected.broadcast") + EventElement("host.detected.dhcp")));
    ASSERT_EQ(2u, two.Events.size());
    EXPECT_TRUE(IsText(two.Events[0].Classification.EventClassification, "host.detected.broadcast"));
    EXPECT_TRUE(IsText(two.Events[1].Classification.EventClassification, "host.detected.dhcp"));
    ECEvent none = LoadPayload(EventXml(kSensor));
    EXPECT_TRUE(none.Events.empty());
}

TEST(EventDocument, ClassificationEmptyWithoutElementNullWithoutText) {
    ECEvent document = LoadPayload(EventXml(std::string(kSensor) + "<zelk:Event/>" +
                                            "<zelk:Event><zelk:Classification/></zelk:Event>" + EventElement("")));
    ASSERT_EQ(3u, document.Events.size());
    EXPECT_EQ(VT_EMPTY, document.Events[0].Classification.EventClassification.Type());
    EXPECT_EQ(VT_NULL, document.Events[1].Classification.EventClassification.Type());
    EXPECT_TRUE(IsText(document.Events[2].Classification.EventClassification, ""));
}

TEST(EventDocument, MapsAnEventWithSourcePluginsAndUsers) {
    ECEvent document = LoadPayload(EventXml(
        std::string(kSensor) +
        "<zelk:Event><zelk:DetectTime>2013-03-08T13:41:12Z</zelk:DetectTime>"
        "<zelk:Source><zelk:Node><zelk:Name>ws042</zelk:Name>"
        "<zelk:Interface><zelk:Address>10.1.2.42</zelk:Address></zelk:Interface></zelk:Node>"
        "<zelk:User><zelk:Name>jdoe</zelk:Name></zelk:User><zelk:User><zelk:Name>msmith</zelk:Name></zelk:User>"
        "</zelk:Source>"
        "<zelk:Classification><zelk:EventClassification>host.detected.broadcast</zelk:EventClassification>"
        "</zelk:Classification>"
        "<zelk:Plugin><zelk:PluginName>OS Fingerprint</zelk:PluginName><zelk:PluginVersion>1.4</zelk:PluginVersion>"
        "<zelk:PluginData dt:dt='bin.base64'>AAECAw==</zelk:PluginData>"
        "<zelk:OndrixEventTypeId>30001</zelk:OndrixEventTypeId></zelk:Plugin>"
        "<zelk:Plugin><zelk:PluginName>Untyped</zelk:PluginName><zelk:PluginData>plain "
        "text</zelk:PluginData></zelk:Plugin>"
        "</zelk:Event>"));
    ASSERT_EQ(1u, document.Events.size());
    const ZELKXML::Event& event = document.Events[0];
    EXPECT_TRUE(IsText(event.DetectTime, "2013-03-08T13:41:12Z"));
    EXPECT_TRUE(IsText(event.Source.Node.Name, "ws042"));
    ASSERT_EQ(1u, event.Source.Node.Interfaces.size());
    EXPECT_TRUE(IsText(event.Source.Node.Interfaces[0].Address.value, "10.1.2.42"));
    ASSERT_EQ(2u, event.Source.Users.size());
    EXPECT_TRUE(IsText(event.Source.UserNames(), "jdoe,msmith"));
    ASSERT_EQ(2u, event.Plugins.size());
    EXPECT_TRUE(IsText(event.Plugins[0].PluginName, "OS Fingerprint"));
    EXPECT_TRUE(IsText(event.Plugins[0].PluginVersion, "1.4"));
    EXPECT_EQ((std::vector<unsigned char>{0, 1, 2, 3}), Bytes(event.Plugins[0].PluginData));
    EXPECT_TRUE(IsText(event.Plugins[0].OndrixEventTypeId, "30001"));
    EXPECT_TRUE(IsText(event.Plugins[1].PluginData, "plain text"));
    EXPECT_EQ(VT_NULL, event.Plugins[1].OndrixEventTypeId.Type());
}

TEST(EventDocument, FirstAnalyzerAndFirstSourceOnly) {
    ECEvent document = LoadPayload(
        EventXml(std::string(kSensor) +
                 "<zelk:Analyzer><zelk:Sensor id='99'><zelk:Dhcp>0</zelk:Dhcp></zelk:Sensor></zelk:Analyzer>"
                 "<zelk:Event><zelk:Source><zelk:Node><zelk:Name>first</zelk:Name></zelk:Node></zelk:Source>"
                 "<zelk:Source><zelk:Node><zelk:Name>second</zelk:Name></zelk:Node></zelk:Source></zelk:Event>"));
    EXPECT_EQ(7, document.Analyzer.Sensor.SensorId);
    ASSERT_EQ(1u, document.Events.size());
    EXPECT_TRUE(IsText(document.Events[0].Source.Node.Name, "first"));
}

TEST(Sensor, TypeDecidesWhetherItIsADetectionSensor) {
    EXPECT_EQ(1, SensorOf("<zelk:Dhcp>0</zelk:Dhcp><zelk:Type>DETECTION</zelk:Type>").IsDetectionSensor);
    EXPECT_EQ(1, SensorOf("<zelk:Dhcp>0</zelk:Dhcp><zelk:Type>detection</zelk:Type>").IsDetectionSensor);
    EXPECT_EQ(0, SensorOf("<zelk:Dhcp>0</zelk:Dhcp><zelk:Type>passive</zelk:Type>").IsDetectionSensor);
    EXPECT_EQ(0, SensorOf("<zelk:Dhcp>0</zelk:Dhcp><zelk:Type></zelk:Type>").IsDetectionSensor);
    EXPECT_EQ(1, SensorOf("<zelk:Dhcp>0</zelk:Dhcp>").IsDetectionSensor);
    // A typed value is not a string: counted as a detection sensor.
    EXPECT_EQ(1, SensorOf("<zelk:Dhcp>0</zelk:Dhcp><zelk:Type dt:dt='i4'>0</zelk:Type>").IsDetectionSensor);
}

TEST(Sensor, ElectionTypeGivesTheRole) {
    EXPECT_EQ(2, SensorOf("<zelk:Dhcp>0</zelk:Dhcp><zelk:ElectionType>Voting</zelk:ElectionType>").ElectionRole);
    EXPECT_EQ(1, SensorOf("<zelk:Dhcp>0</zelk:Dhcp><zelk:ElectionType>server</zelk:ElectionType>").ElectionRole);
    EXPECT_EQ(1, SensorOf("<zelk:Dhcp>0</zelk:Dhcp><zelk:ElectionType>SERVER</zelk:ElectionType>").ElectionRole);
    EXPECT_EQ(0, SensorOf("<zelk:Dhcp>0</zelk:Dhcp><zelk:ElectionType>master</zelk:ElectionType>").ElectionRole);
    EXPECT_EQ(0, SensorOf("<zelk:Dhcp>0</zelk:Dhcp>").ElectionRole);
}

// The election type is compared as the DOM hands it, white space included.
TEST(Sensor, APaddedElectionTypeGivesNoRole) {
    EXPECT_EQ(0, SensorOf("<zelk:Dhcp>0</zelk:Dhcp><zelk:ElectionType> server</zelk:ElectionType>").ElectionRole);
}

TEST(Sensor, DhcpAndId) {
    EXPECT_EQ(1, SensorOf("<zelk:Dhcp>1</zelk:Dhcp>").DhcpFlag);
    EXPECT_EQ(0, SensorOf("<zelk:Dhcp>0</zelk:Dhcp>").DhcpFlag);
    EXPECT_EQ(5, SensorOf("<zelk:Dhcp dt:dt='i4'>5</zelk:Dhcp>").DhcpFlag);
    EXPECT_EQ(0, SensorOf("<zelk:Dhcp>1</zelk:Dhcp>", "").SensorId);
    EXPECT_EQ(-4, SensorOf("<zelk:Dhcp>1</zelk:Dhcp>", " id='-4'").SensorId);
}

TEST(Sensor, MissingDhcpStopsTheMapping) { ExpectStoppedAtDhcp(LoadPayload(SensorWithDhcp(""))); }

TEST(Sensor, NonNumericDhcpStopsTheMapping) {
    ExpectStoppedAtDhcp(LoadPayload(SensorWithDhcp("<zelk:Dhcp>yes</zelk:Dhcp>")));
    ExpectStoppedAtDhcp(LoadPayload(SensorWithDhcp("<zelk:Dhcp/>")));
}

TEST(Sensor, OnlyTheFirstDhcpCounts) {
    ECEvent document = LoadPayload(SensorWithDhcp("<zelk:Dhcp>1</zelk:Dhcp><zelk:Dhcp>x</zelk:Dhcp>"));
    EXPECT_EQ(1, document.Analyzer.Sensor.DhcpFlag);
    EXPECT_EQ(1u, document.Events.size());
}

TEST(Sensor, DocumentWithoutSensorHasNoDhcpRequirement) {
    ECEvent document =
        LoadPayload(EventXml("<zelk:Analyzer><zelk:User><zelk:Name>u</zelk:Name></zelk:User></zelk:Analyzer>" +
                             EventElement("host.detected.dhcp")));
    EXPECT_TRUE(IsText(document.Analyzer.User.Name, "u"));
    EXPECT_EQ(1u, document.Events.size());
}

Variant UserNamesOf(const std::string& users) {
    Fragment fragment(Wrapped("zelk:Source", users));
    ZELKXML::Source source;
    source.map(fragment.Root(), nullptr);
    return source.UserNames();
}

std::string UserXml(const std::string& name) { return "<zelk:User><zelk:Name>" + name + "</zelk:Name></zelk:User>"; }

TEST(Source, UserNamesJoinsTheNamesWithCommas) {
    EXPECT_TRUE(IsText(UserNamesOf(UserXml("a") + UserXml("b")), "a,b"));
    EXPECT_TRUE(IsText(UserNamesOf(UserXml("LAB\\jdoe")), "LAB\\jdoe"));
    EXPECT_EQ(VT_NULL, UserNamesOf("").Type());
    EXPECT_EQ(VT_NULL, UserNamesOf("<zelk:User/><zelk:User/>").Type());
}

TEST(Source, UserNamesSkipsUsersWithoutNameAndLeadingEmptyNames) {
    EXPECT_TRUE(IsText(UserNamesOf("<zelk:User/>" + UserXml("a") + "<zelk:User/>" + UserXml("b")), "a,b"));
    EXPECT_TRUE(IsText(UserNamesOf(UserXml("") + UserXml("a")), "a"));
    EXPECT_TRUE(IsText(UserNamesOf(UserXml("a") + UserXml("") + UserXml("b")), "a,,b"));
    EXPECT_TRUE(IsText(UserNamesOf(UserXml("a") + UserXml("")), "a,"));
    EXPECT_EQ(VT_NULL, UserNamesOf(UserXml("") + UserXml("")).Type());
}

TEST(Source, UserNamesStopsEachNameAtItsFirstNul) {
    ZELKXML::Source source;
    source.Users.emplace_back();
    comsupport::OleString withNul = Ole("ab?c");
    withNul[2] = 0;
    source.Users.back().Name = Variant::FromBstr(comsupport::Bstr(withNul));
    source.Users.emplace_back();
    source.Users.back().Name = Variant::FromLong(5);  // not a string: skipped
    source.Users.emplace_back();
    source.Users.back().Name = Variant::FromText(OLESTR("d"));
    EXPECT_TRUE(IsText(source.UserNames(), "ab,d"));
}

// ---- absorbed failures ----

TEST(LoadFromPayload, NullPayloadOrDataLeavesTheDocumentAlone) {
    ECEvent document;
    document.LoadFromPayload(nullptr);
    ExpectEmptyDocument(document);
    SAFEARRAY descriptor = {};
    descriptor.cDims = 1;
    descriptor.cbElements = 1;
    descriptor.rgsabound[0].cElements = 10;
    document.LoadFromPayload(&descriptor);  // pvData is null
    ExpectEmptyDocument(document);
}

TEST(LoadFromPayload, EmptyPayloadLeavesTheDocumentEmpty) {
    SafeArrayPtr payload = MakePayload("");
    ECEvent document;
    document.LoadFromPayload(payload.get());
    ExpectEmptyDocument(document);
}

TEST(LoadFromPayload, MalformedXmlLeavesTheDocumentEmpty) {
    ExpectEmptyDocument(LoadPayload(EventXml(std::string(kSensor) + "<zelk:Event>")));
}

TEST(LoadFromPayload, NotXmlAtAll) {
    for (const std::string& text : NotXmlTexts()) ExpectEmptyDocument(LoadPayload(text));
}

TEST(LoadFromPayload, TheLowerBoundIsNotLookedAt) {
    std::string xml = EventXml(std::string(kSensor) + EventElement("host.detected.dhcp"));
    SafeArrayPtr payload = MakePayload(xml, 5);
    ECEvent document;
    document.LoadFromPayload(payload.get());
    EXPECT_EQ(7, document.Analyzer.Sensor.SensorId);
    EXPECT_EQ(1u, document.Events.size());
}

TEST(LoadFromPayload, TwoDimensionalArrayIsRefused) {
    SafeArrayPtr payload = MakeTwoDimensionalPayload();
    ASSERT_TRUE(payload);
    ECEvent document;
    document.LoadFromPayload(payload.get());
    ExpectEmptyDocument(document);
}

TEST(LoadFromPayload, XmlDeclarationWithEncodingIsAccepted) {
    ECEvent document = LoadPayload("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" +
                                   EventXml(std::string(kSensor) + EventElement("host.detected.dhcp")));
    EXPECT_EQ(7, document.Analyzer.Sensor.SensorId);
    EXPECT_EQ(1u, document.Events.size());
}

TEST(LoadFromPayload, Utf8ByteOrderMarkIsAccepted) {
    ECEvent document = LoadPayload("\xEF\xBB\xBF" + EventXml(std::string(kSensor)));
    EXPECT_EQ(7, document.Analyzer.Sensor.SensorId);
}

TEST(LoadFromPayload, NonAsciiTextArrivesAsUtf16) {
    ECEvent document =
        LoadPayload(EventXml("<zelk:Event><zelk:Source><zelk:User><zelk:Name>J\xC3\xBCrgen \xE6\x9D\xB1\xE4\xBA\xAC "
                             "\xF0\x9F\x98\x80</zelk:Name>"
                             "</zelk:User></zelk:Source></zelk:Event>"));
    ASSERT_EQ(1u, document.Events.size());
    const Variant& name = document.Events[0].Source.Users[0].Name;
    ASSERT_EQ(VT_BSTR, name.Type());
    // The emoji is a surrogate pair: 12 UTF-16 units in all.
    EXPECT_EQ(12u, SysStringLen(name.Get().bstrVal));
    EXPECT_EQ(OLECHAR(0xFC), name.Get().bstrVal[1]);
    EXPECT_EQ(OLECHAR(0x6771), name.Get().bstrVal[7]);
    EXPECT_EQ(OLECHAR(0xD83D), name.Get().bstrVal[10]);
    EXPECT_EQ(OLECHAR(0xDE00), name.Get().bstrVal[11]);
}

TEST(LoadFromPayload, InvalidUtf8IsReplacedNotFatal) {
    // A Latin-1 byte inside a name: the conversion substitutes U+FFFD and the document still loads.
    ECEvent document = LoadPayload(EventXml(
        std::string(kSensor) +
        "<zelk:Event><zelk:Source><zelk:User><zelk:Name>J\xFCrgen</zelk:Name></zelk:User></zelk:Source></zelk:Event>"));
    EXPECT_EQ(7, document.Analyzer.Sensor.SensorId);
    ASSERT_EQ(1u, document.Events.size());
    const Variant& name = document.Events[0].Source.Users[0].Name;
    ASSERT_EQ(VT_BSTR, name.Type());
    EXPECT_EQ(OLECHAR(0xFFFD), name.Get().bstrVal[1]);
}

TEST(LoadFromPayload, TruncatedUtf8SequenceAtTheEnd) {
    // Replacement characters after the root element are not XML: the load fails cleanly.
    ExpectEmptyDocument(LoadPayload(TruncatedUtf8Payload()));
}

TEST(LoadFromPayload, Utf16PayloadWithByteOrderMarkIsRefusedCleanly) {
    ExpectEmptyDocument(LoadPayload(Utf16PayloadWithByteOrderMark()));
}

TEST(LoadFromPayload, EmbeddedNulIsRefused) { ExpectEmptyDocument(LoadPayload(PayloadWithEmbeddedNul())); }

TEST(LoadFromPayload, TenMegabytePayload) {
    std::string xml = "<zelk:EventList " + std::string(kNs) + ">" + kSensor;
    const std::string event = EventElement("host.detected.broadcast",
                                           "<zelk:Source><zelk:Node><zelk:Address>10.1.2.3</zelk:Address></zelk:Node>"
                                           "</zelk:Source>");
    size_t events = 0;
    while (xml.size() < 10 * 1024 * 1024) {
        xml += event;
        ++events;
    }
    xml += "</zelk:EventList>";
    ECEvent document = LoadPayload(xml);
    ASSERT_EQ(events, document.Events.size());
    EXPECT_TRUE(IsText(document.Events.back().Source.Node.Address, "10.1.2.3"));
}

TEST(LoadFromPayload, TenMegabytesOfOneTextNode) {
    std::string xml = EventXml(std::string(kSensor) + "<zelk:Event><zelk:Plugin><zelk:PluginData>" +
                               std::string(10 * 1024 * 1024, 'A') + "</zelk:PluginData></zelk:Plugin></zelk:Event>");
    ECEvent document = LoadPayload(xml);
    ASSERT_EQ(1u, document.Events.size());
    ASSERT_EQ(1u, document.Events[0].Plugins.size());
    EXPECT_EQ(10u * 1024 * 1024, SysStringLen(document.Events[0].Plugins[0].PluginData.Get().bstrVal));
}

TEST(LoadFromPayload, DeepNestingIsRefusedOrMappedNeverACrash) {
    ECEvent document = LoadPayload(DeeplyNestedPayload());
    if (document.Events.empty()) {
        ExpectEmptyDocument(document);
    } else {
        EXPECT_EQ(1u, document.Events.size());
    }
}

TEST(LoadFromPayload, ModeratelyDeepUnknownElementsAreIgnored) {
    std::string nested;
    for (int i = 0; i < 200; ++i) nested += "<zelk:Extra>";
    nested += "<zelk:Event/>";
    for (int i = 0; i < 200; ++i) nested += "</zelk:Extra>";
    ECEvent document = LoadPayload(EventXml(std::string(kSensor) + nested + EventElement("host.detected.dhcp")));
    // Only direct children of the root are events.
    EXPECT_EQ(1u, document.Events.size());
}

TEST(LoadFromPayload, EntityExpansionDoesNotExplode) {
    std::string doctype = "<!DOCTYPE zelk:EventList [<!ENTITY a0 'xxxxxxxxxx'>";
    for (int i = 1; i < 10; ++i) {
        std::string previous = "&a" + std::to_string(i - 1) + ";";
        std::string repeated;
        for (int k = 0; k < 10; ++k) repeated += previous;
        doctype += "<!ENTITY a" + std::to_string(i) + " '" + repeated + "'>";
    }
    doctype += "]>";
    ECEvent document = LoadPayload(
        doctype + EventXml(std::string(kSensor) + "<zelk:Event><zelk:DetectTime>&a9;</zelk:DetectTime></zelk:Event>"));
    // Either refused, or mapped; a 10 GB string is neither.
    if (!document.Events.empty() && document.Events[0].DetectTime.Type() == VT_BSTR) {
        EXPECT_LT(SysStringLen(document.Events[0].DetectTime.Get().bstrVal), 100u * 1024 * 1024);
    }
}

TEST(LoadFromPayload, DocumentViolatingItsOwnDtdIsRefused) {
    // Validation is on: a document that declares a DTD must follow it.
    ExpectEmptyDocument(LoadPayload(PayloadViolatingItsOwnDtd()));
}

TEST(LoadFromPayload, DocumentFollowingItsOwnDtdLoads) {
    ECEvent document = LoadPayload(
        "<!DOCTYPE zelk:EventList [<!ELEMENT zelk:EventList (zelk:CreateTime)>"
        "<!ATTLIST zelk:EventList xmlns:zelk CDATA #FIXED 'urn:zelk:event'>"
        "<!ELEMENT zelk:CreateTime (#PCDATA)>]>"
        "<zelk:EventList xmlns:zelk='urn:zelk:event'><zelk:CreateTime>t</zelk:CreateTime></zelk:EventList>");
    EXPECT_TRUE(IsText(document.CreateTime, "t"));
}

// ---- files ----

TEST(LoadFromFile, LoadsASampleFile) {
    ECEvent document;
    document.LoadFromFile(Ole(SamplePath("sensor-one-subnet.xml")).c_str());
    EXPECT_EQ(7, document.Analyzer.Sensor.SensorId);
    EXPECT_EQ(1u, document.Events.size());
}

TEST(LoadFromFile, MissingFileOrNoPathLeavesTheDocumentEmpty) {
    ECEvent document;
    document.LoadFromFile(Ole(SamplePath("no-such-file.xml")).c_str());
    ExpectEmptyDocument(document);
    document.LoadFromFile(nullptr);
    ExpectEmptyDocument(document);
}

// ---- copies ----

TEST(EventDocument, CopiesOfWholeDocumentsAreIndependent) {
    auto original = std::make_unique<ECEvent>();
    original->LoadFromFile(Ole(SamplePath("detections-every-device-type.xml")).c_str());
    ASSERT_FALSE(original->Events.empty());
    ECEvent copy = *original;
    ECEvent assigned;
    assigned = *original;
    const size_t events = original->Events.size();
    const std::vector<unsigned char> pluginBytes = Bytes(original->Events[0].Plugins[0].PluginData);
    ASSERT_FALSE(pluginBytes.empty());
    EXPECT_NE(original->Events[0].Plugins[0].PluginData.Get().parray,
              copy.Events[0].Plugins[0].PluginData.Get().parray);

    // Destroying the original must leave both copies whole (ASan watches the frees).
    original.reset();
    for (const ECEvent* document : {&copy, &assigned}) {
        ASSERT_EQ(events, document->Events.size());
        EXPECT_EQ(pluginBytes, Bytes(document->Events[0].Plugins[0].PluginData));
        EXPECT_TRUE(IsText(document->Analyzer.Sensor.Name, "Lab sensor"));
        EXPECT_TRUE(
            IsText(document->Events[1].Source.Node.Interfaces[2].Address.value, "2001:db8:0:12:250:56ff:feab:cd03"));
    }
    // Changing one copy leaves the other alone.
    copy.Events[1].Source.Users.clear();
    copy.Analyzer.Node.Interfaces[0].MACAddress = Variant::Null();
    EXPECT_EQ(3u, assigned.Events[1].Source.Users.size());
    EXPECT_TRUE(IsText(assigned.Analyzer.Node.Interfaces[0].MACAddress, "00:1A:2B:3C:4D:5E"));

    // The event list on its own, as the message handler copies it.
    ZELKXML::XMLMappableList<ZELKXML::Event> events_copy = assigned.Events;
    assigned = ECEvent();
    EXPECT_EQ(events, events_copy.size());
    EXPECT_TRUE(IsText(events_copy[0].Classification.EventClassification, "host.detected.dhcp"));
}
}  // namespace
