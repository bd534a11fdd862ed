// Recording one detected machine: the detected-system procedure, the read-back,
// its plug-in events and its interfaces.
#include "DaoTestSupport.h"

namespace marlind_test {
namespace {

using wincompat::LoggedStatementParameter;
using ZELKDAO::DetectedSystem;

const char kAnalyzerNode[] =
    "<zelk:AgentGUID>{6F9619FF-8B86-D011-B42D-00C04FC964FF}</zelk:AgentGUID>"
    "<zelk:SubnetMask>255.255.255.0</zelk:SubnetMask><zelk:NetworkAddress>10.1.2.0</zelk:NetworkAddress>";

const char kLaptop[] =
    "<zelk:Name>laptop17</zelk:Name><zelk:GroupName>LAB</zelk:GroupName><zelk:NetBIOSName>LAPTOP17</zelk:NetBIOSName>"
    "<zelk:Comment>desk 4</zelk:Comment><zelk:AgentGUID>{1b4e28ba-2fa1-11d2-883f-0016d3cca427}</zelk:AgentGUID>"
    "<zelk:OSType><zelk:Platform>Windows</zelk:Platform><zelk:Family>Workstation</zelk:Family>"
    "<zelk:Version>6.1</zelk:Version></zelk:OSType>"
    "<zelk:MACAddress>00:24:E8:11:22:33</zelk:MACAddress><zelk:Address>10.1.2.77</zelk:Address>"
    "<zelk:Interface><zelk:MACAddress>00:24:E8:11:22:33</zelk:MACAddress><zelk:Address>10.1.2.77</zelk:Address>"
    "<zelk:SubnetMask>255.255.255.0</zelk:SubnetMask><zelk:NetworkAddress>10.1.2.0</zelk:NetworkAddress>"
    "</zelk:Interface>"
    "<zelk:Interface><zelk:MACAddress>00:24:E8:11:22:34</zelk:MACAddress><zelk:Address>172.16.40.3</zelk:Address>"
    "<zelk:SubnetMask>255.255.252.0</zelk:SubnetMask><zelk:NetworkAddress>172.16.40.0</zelk:NetworkAddress>"
    "</zelk:Interface>";

const char kTwoPlugins[] =
    "<zelk:Plugin><zelk:PluginData dt:dt=\"bin.base64\">AQID</zelk:PluginData>"
    "<zelk:OndrixEventTypeId>30012</zelk:OndrixEventTypeId></zelk:Plugin>"
    "<zelk:Plugin><zelk:PluginData dt:dt=\"bin.base64\">BAU=</zelk:PluginData>"
    "<zelk:OndrixEventTypeId>30001</zelk:OndrixEventTypeId></zelk:Plugin>";

std::string EventXmlOf(const std::string& node, const std::string& rest = "",
                       const std::string& classification = "host.detected.dhcp",
                       const std::string& time = "<zelk:DetectTime>2013-03-08T13:40:02Z</zelk:DetectTime>") {
    return "<zelk:Event>" + time + "<zelk:Source><zelk:Node>" + node +
           "</zelk:Node><zelk:User><zelk:Name>LAB\\jdoe</zelk:Name></zelk:User><zelk:User><zelk:Name>bob"
           "</zelk:Name></zelk:User></zelk:Source><zelk:Classification><zelk:EventClassification>" +
           classification + "</zelk:EventClassification></zelk:Classification>" + rest + "</zelk:Event>";
}

class DetectedSystemSave : public HostDatabaseTest {
protected:
    // Saves the first event of a document with the given analyzer node and event.
    LONG SaveEvent(const std::string& event, const std::string& analyzerNode = kAnalyzerNode, INT sensorId = 7) {
        ZELKXML::ECEvent document = Document(AnalyzerXml(analyzerNode) + event);
        EXPECT_EQ(1u, document.Events.size());
        if (document.Events.empty()) return 1;
        DetectedSystem system(document.Events[0], document.Analyzer.Node, sensorId);
        return system.Save(Connection());
    }
    std::vector<Row> Interfaces() {
        return Rows(
            "SELECT HostID, MAC, IPV6, IPV6Mask, IPV6Subnet, SourceSensorID, SourceType FROM "
            "ZELKDetectedInterfaces ORDER BY InterfaceID");
    }
};

void ExpectParameter(const LoggedStatementParameter& p, const std::string& name, const std::string& type,
                     const std::string& vt, const std::string& value, const std::string& direction = "input") {
    EXPECT_EQ(name, p.name);
    EXPECT_EQ(type, p.type) << name;
    EXPECT_EQ(direction, p.direction) << name;
    EXPECT_EQ(vt, p.vt) << name;
    EXPECT_EQ(value, p.isNull ? "NULL" : p.value) << name;
}

TEST_F(DetectedSystemSave, OneDetectionIsOneProcedureCallOneReadEventsAndInterfaceCalls) {
    ASSERT_EQ(0, SaveEvent(EventXmlOf(kLaptop, kTwoPlugins)));
    const std::vector<LoggedStatement> sent = NewStatements();
    ASSERT_EQ(7u, sent.size());
    EXPECT_EQ("storedproc", sent[0].commandType);
    EXPECT_EQ("ZELKSP_UpdateDetectedSystems", sent[0].text);
    EXPECT_EQ("SELECT * FROM [ZELKDetectedSystemProperties] WHERE (([HostID] = ?));", sent[1].text);
    const std::string eventInsert =
        "SET NOCOUNT ON;\nINSERT INTO [ZELKOndrixEvents] ([EventID],[DetectedSystemId],[Data],[EventAddedUtc])\n"
        "VALUES (?,?,?,?);\nSELECT SCOPE_IDENTITY();\n";
    EXPECT_EQ(eventInsert, sent[2].text);
    EXPECT_EQ(eventInsert, sent[3].text);
    for (size_t i = 4; i < 7; ++i) {
        EXPECT_EQ("storedproc", sent[i].commandType);
        EXPECT_EQ("ZELKSP_UpdateInterfaces", sent[i].text);
        for (const LoggedStatement& statement : sent) EXPECT_EQ("ok", statement.result);
    }

    const std::string host = Scalar("SELECT HostID FROM ZELKDetectedSystemProperties");
    const std::vector<LoggedStatementParameter>& p = sent[0].parameters;
    ASSERT_EQ(22u, p.size());
    ExpectParameter(p[0], "@DnsName", "adBSTR", "VT_BSTR", "laptop17");
    ExpectParameter(p[1], "@OSPlatform", "adBSTR", "VT_BSTR", "Windows");
    ExpectParameter(p[2], "@OSFamily", "adBSTR", "VT_BSTR", "Workstation");
    ExpectParameter(p[3], "@OSVersion", "adBSTR", "VT_BSTR", "6.1");
    ExpectParameter(p[4], "@Domain", "adBSTR", "VT_BSTR", "LAB");
    ExpectParameter(p[5], "@NetbiosName", "adBSTR", "VT_BSTR", "LAPTOP17");
    ExpectParameter(p[6], "@NetbiosComment", "adBSTR", "VT_BSTR", "desk 4");
    ExpectParameter(p[7], "@Users", "adBSTR", "VT_BSTR", "LAB\\jdoe,bob");
    ExpectParameter(p[8], "@AgentGUID", "adGUID", "VT_BSTR", "{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}");
    ExpectParameter(p[9], "@IPV4", "adInteger", "VT_NULL", "NULL");
    ExpectParameter(p[10], "@IPV6", "adBinary", "VT_ARRAY|VT_UI1", MappedIPv4("0A01024D"));
    EXPECT_EQ(16, p[10].size);
    ExpectParameter(p[11], "@MAC", "adBSTR", "VT_BSTR", "0024E8112233");
    EXPECT_EQ(12, p[11].size);
    ExpectParameter(p[12], "@DetectedTime", "adDate", "VT_DATE", "2013-03-08 13:40:02.000");
    ExpectParameter(p[13], "@DeviceType", "adBSTR", "VT_BSTR", "computer");
    ExpectParameter(p[14], "@SourceID", "adInteger", "VT_INT", "7");
    ExpectParameter(p[15], "@SourceType", "adBSTR", "VT_BSTR", "zelk.dhcp");
    ExpectParameter(p[16], "@ExternalID", "adBSTR", "VT_NULL", "NULL");
    ExpectParameter(p[17], "@DetectionType", "adBSTR", "VT_BSTR", "detectedSystem");
    ExpectParameter(p[18], "@ExternalFriendlyName", "adBSTR", "VT_NULL", "NULL");
    ExpectParameter(p[19], "@MatchingOverride", "adInteger", "VT_INT", "0");
    ExpectParameter(p[20], "@OutputHostID", "adInteger", "VT_NULL", host, "output");
    ExpectParameter(p[21], "@OutputNewDetection", "adBoolean", "VT_NULL", "1", "output");

    // The read-back selects by the returned id; the events belong to it.
    ASSERT_EQ(1u, sent[1].parameters.size());
    EXPECT_EQ(host, sent[1].parameters[0].value);
    EXPECT_EQ((std::vector<Row>{{"30012", host, "X'010203'"}, {"30001", host, "X'0405'"}}),
              Rows("SELECT EventID, DetectedSystemId, Data FROM ZELKOndrixEvents ORDER BY AutoID"));

    // The interface calls: the machine's own address with the sensor host's
    // mask and subnet, then each interface with its own.
    const std::vector<std::string> names = {"@HostID",       "@MAC",      "@IPV4",       "@IPV4Mask",
                                            "@IPV4Subnet",   "@IPV6",     "@IPV6Mask",   "@IPV6Subnet",
                                            "@DetectedTime", "@SourceID", "@SourceType", "@ExternalID"};
    const std::vector<std::string> types = {"adInteger", "adBSTR",   "adInteger", "adInteger", "adInteger", "adBinary",
                                            "adBinary",  "adBinary", "adDate",    "adInteger", "adBSTR",    "adBSTR"};
    const std::vector<std::vector<std::string>> changing = {
        {"0024E8112233", MappedIPv4("0A01024D"), MappedIPv4("FFFFFF00"), MappedIPv4("0A010200")},
        {"0024E8112233", MappedIPv4("0A01024D"), MappedIPv4("FFFFFF00"), MappedIPv4("0A010200")},
        {"0024E8112234", MappedIPv4("AC102803"), MappedIPv4("FFFFFC00"), MappedIPv4("AC102800")},
    };
    for (size_t call = 0; call < 3; ++call) {
        const std::vector<LoggedStatementParameter>& q = sent[4 + call].parameters;
        ASSERT_EQ(12u, q.size());
        for (size_t i = 0; i < 12; ++i) {
            EXPECT_EQ(names[i], q[i].name) << call;
            EXPECT_EQ(types[i], q[i].type) << call << " " << names[i];
        }
        EXPECT_EQ(host, q[0].value);
        EXPECT_EQ(changing[call][0], q[1].value);
        EXPECT_EQ(12, q[1].size);
        EXPECT_TRUE(q[2].isNull && q[3].isNull && q[4].isNull);
        EXPECT_EQ(changing[call][1], q[5].value) << call;
        EXPECT_EQ(changing[call][2], q[6].value) << call;
        EXPECT_EQ(changing[call][3], q[7].value) << call;
        EXPECT_EQ(16, q[5].size);
        EXPECT_EQ("VT_DATE", q[8].vt);  // as read back from the stored row
        EXPECT_EQ("2013-03-08 13:40:02.000", q[8].value);
        EXPECT_EQ("7", q[9].value);
        EXPECT_EQ("zelk.dhcp", q[10].value);
        EXPECT_TRUE(q[11].isNull);
    }

    // One interface row per MAC and address: the own-address call and the
    // first interface are the same one, which keeps the interface's values.
    EXPECT_EQ((std::vector<Row>{{host, "0024E8112233", MappedIPv4("0A01024D"), MappedIPv4("FFFFFF00"),
                                 MappedIPv4("0A010200"), "7", "zelk.dhcp"},
                                {host, "0024E8112234", MappedIPv4("AC102803"), MappedIPv4("FFFFFC00"),
                                 MappedIPv4("AC102800"), "7", "zelk.dhcp"}}),
              Interfaces());
    EXPECT_EQ((std::vector<Row>{{"laptop17", "0024E8112233", "{1B4E28BA-2FA1-11D2-883F-0016D3CCA427}", "zelk.dhcp",
                                 "computer", "1", "0", "detectedSystem", "7"}}),
              Rows("SELECT DnsName, MAC, AgentGUID, DetectedSourceType, DeviceType, NewDetection, Exception, "
                   "DetectionType, SourceSensorID FROM ZELKDetectedSystemProperties"));
}

TEST_F(DetectedSystemSave, AMachineSeenAgainKeepsItsRowAndInterfaces) {
    ASSERT_EQ(0, SaveEvent(EventXmlOf(kLaptop)));
    const std::string recorded = Scalar("SELECT RecordedTime FROM ZELKDetectedSystemProperties");
    ASSERT_EQ(0, SaveEvent(EventXmlOf(kLaptop, "", "host.detected.broadcast",
                                      "<zelk:DetectTime>2013-03-09T08:00:00Z</zelk:DetectTime>"),
                           kAnalyzerNode, 8));
    EXPECT_EQ((std::vector<Row>{{"2013-03-09 08:00:00.000", "zelk.broadcast", "8", "1", recorded}}),
              Rows("SELECT LastDetectedTime, DetectedSourceType, SourceSensorID, NewDetection, RecordedTime FROM "
                   "ZELKDetectedSystemProperties"));
    EXPECT_EQ(2u, Interfaces().size());
    EXPECT_EQ("2013-03-09 08:00:00.000", Scalar("SELECT MIN(LastDetectedTime) FROM ZELKDetectedInterfaces"));
    EXPECT_EQ("2013-03-08 13:40:02.000", Scalar("SELECT MIN(FirstDetectedTime) FROM ZELKDetectedInterfaces"));
}

TEST_F(DetectedSystemSave, ALateUploadOfAnOlderDetectionKeepsTheLatestSighting) {
    ASSERT_EQ(0, SaveEvent(EventXmlOf(kLaptop, "", "host.detected.broadcast",
                                      "<zelk:DetectTime>2013-03-09T08:00:00Z</zelk:DetectTime>"),
                           kAnalyzerNode, 8));
    // Another sensor's upload from the day before arrives afterwards.
    std::string renamed = kLaptop;
    renamed.replace(renamed.find("laptop17"), 8, "laptop18");
    ASSERT_EQ(0, SaveEvent(EventXmlOf(renamed), kAnalyzerNode, 7));
    EXPECT_EQ((std::vector<Row>{{"laptop18", "2013-03-09 08:00:00.000", "zelk.broadcast", "8"}}),
              Rows("SELECT DnsName, LastDetectedTime, DetectedSourceType, SourceSensorID FROM "
                   "ZELKDetectedSystemProperties"));
    // The interfaces are sent the time read back with the row: the latest.
    EXPECT_EQ((std::vector<Row>{{"2013-03-09 08:00:00.000"}, {"2013-03-09 08:00:00.000"}}),
              Rows("SELECT LastDetectedTime FROM ZELKDetectedInterfaces ORDER BY InterfaceID"));
}

TEST_F(DetectedSystemSave, TheConstructorsValuesFollowTheEvent) {
    const auto build = [](const std::string& event) {
        ZELKXML::ECEvent document = Document(AnalyzerXml(kAnalyzerNode) + event);
        return DetectedSystem(document.Events.at(0), document.Analyzer.Node, 3);
    };
    // No name: the address text stands in. A MAC written with dashes is sent as it is.
    DetectedSystem unnamed =
        build(EventXmlOf("<zelk:Address>10.1.2.9</zelk:Address>"
                         "<zelk:MACAddress>00-11-22-AA-BB-CC</zelk:MACAddress>",
                         "", "HOST.DETECTED.DHCP"));
    EXPECT_TRUE(IsText(Variant(unnamed.GetValue("DnsName")), "10.1.2.9"));
    EXPECT_TRUE(IsText(Variant(unnamed.GetValue("MAC")), "00-11-22-AA-BB-CC"));
    EXPECT_TRUE(IsText(Variant(unnamed.GetValue("DetectedSourceType")), "zelk.dhcp"));
    EXPECT_EQ(VT_NULL, unnamed.GetValue("IPV4").vt);
    EXPECT_EQ(3, unnamed.SourceSensorId);

    DetectedSystem other =
        build(EventXmlOf("<zelk:MACAddress>00:11:22:AA:BB:CC</zelk:MACAddress>", "", "host.os.changed"));
    EXPECT_TRUE(IsText(Variant(other.GetValue("DetectedSourceType")), "zelk.unknown"));
    EXPECT_TRUE(IsText(Variant(other.GetValue("MAC")), "001122AABBCC"));
    EXPECT_EQ(VT_NULL, other.GetValue("DnsName").vt);
    EXPECT_EQ(VT_NULL, other.GetValue("IPV6").vt);

    DetectedSystem unclassified = build("<zelk:Event><zelk:Source><zelk:Node/></zelk:Source></zelk:Event>");
    EXPECT_EQ(VT_NULL, unclassified.GetValue("DetectedSourceType").vt);
    EXPECT_EQ(VT_NULL, unclassified.GetValue("Users").vt);
}

TEST_F(DetectedSystemSave, AnUnusableDetectionTimeIsReplacedByTheTimeOfRecording) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    char today[32];  // room for any WORD values, so the format cannot be cut
    snprintf(today, sizeof today, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    for (const std::string& time : {std::string(), std::string("<zelk:DetectTime>2013-03-08</zelk:DetectTime>"),
                                    std::string("<zelk:DetectTime>yesterday</zelk:DetectTime>"),
                                    std::string("<zelk:DetectTime>2013-02-30T25:00:00Z</zelk:DetectTime>")}) {
        Exec("DELETE FROM ZELKDetectedInterfaces; DELETE FROM ZELKDetectedSystemProperties");
        ASSERT_EQ(0, SaveEvent(EventXmlOf(kLaptop, "", "host.detected.dhcp", time))) << time;
        const std::string stored = Scalar("SELECT LastDetectedTime FROM ZELKDetectedSystemProperties");
        EXPECT_EQ(0u, stored.find(today)) << time << " stored " << stored;
    }
}

TEST_F(DetectedSystemSave, AddressesFallBackInOrderAndInterfacesDoNot) {
    // No Address: the Ipv4Address; the analyzer has only IPv6 subnet fields.
    const std::string analyzer =
        "<zelk:AgentGUID>{6F9619FF-8B86-D011-B42D-00C04FC964FF}</zelk:AgentGUID>"
        "<zelk:Ipv6SubnetMask>ffff:ffff:ffff:ffff::</zelk:Ipv6SubnetMask>"
        "<zelk:Ipv6SubnetAddress>2001:db8:0:12::</zelk:Ipv6SubnetAddress>";
    ASSERT_EQ(0, SaveEvent(EventXmlOf("<zelk:MACAddress>00:24:E8:11:22:33</zelk:MACAddress>"
                                      "<zelk:Ipv4Address>10.1.2.5</zelk:Ipv4Address>"
                                      "<zelk:Ipv6Address>2001:db8:0:12::5</zelk:Ipv6Address>"
                                      "<zelk:Interface><zelk:MACAddress>00:24:E8:11:22:35</zelk:MACAddress>"
                                      "</zelk:Interface>"),
                           analyzer));
    const std::vector<LoggedStatement> sent = NewStatements();
    ASSERT_EQ(4u, sent.size());  // procedure, read-back, two interface calls
    const std::vector<LoggedStatementParameter>& own = sent[2].parameters;
    EXPECT_EQ(MappedIPv4("0A010205"), own[5].value);
    EXPECT_EQ("X'FFFFFFFFFFFFFFFF0000000000000000'", own[6].value);
    EXPECT_EQ("X'20010DB8000000120000000000000000'", own[7].value);
    const std::vector<LoggedStatementParameter>& nic = sent[3].parameters;
    EXPECT_EQ("0024E8112235", nic[1].value);
    EXPECT_TRUE(nic[5].isNull && nic[6].isNull && nic[7].isNull);
    EXPECT_EQ("VT_NULL", nic[5].vt);

    // Nothing to fall back on: EMPTY, and a machine without a MAC sends size 0.
    ASSERT_EQ(0, SaveEvent(EventXmlOf("<zelk:Name>bare</zelk:Name>"), AgentXml()));
    const std::vector<LoggedStatement> bare = NewStatements();
    ASSERT_EQ(3u, bare.size());
    const std::vector<LoggedStatementParameter>& q = bare[2].parameters;
    EXPECT_EQ("VT_NULL", q[1].vt);
    EXPECT_EQ(0, q[1].size);
    EXPECT_EQ("VT_EMPTY", q[5].vt);
    EXPECT_EQ("VT_EMPTY", q[6].vt);
    EXPECT_EQ("VT_EMPTY", q[7].vt);
}

TEST_F(DetectedSystemSave, AHostIdThatDoesNotConvertEndsTheSaveBeforeEventsAndInterfaces) {
    Exec(
        "UPDATE StoredProcedures SET Body = 'SELECT NULL AS OutputHostID, 0 AS OutputNewDetection' "
        "WHERE Name = 'ZELKSP_UpdateDetectedSystems'");
    DebugOutputCapture debug;
    EXPECT_EQ(DISP_E_TYPEMISMATCH, SaveEvent(EventXmlOf(kLaptop, kTwoPlugins)));
    const std::vector<LoggedStatement> sent = NewStatements();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ("ZELKSP_UpdateDetectedSystems", sent[0].text);
    EXPECT_EQ(0u, Count("ZELKOndrixEvents"));
    EXPECT_EQ(0u, Count("ZELKDetectedInterfaces"));
    EXPECT_EQ(1u, debug.Lines().size());
}

TEST_F(DetectedSystemSave, APluginBlockThatDoesNotConvertIsSkipped) {
    DebugOutputCapture debug;
    ASSERT_EQ(0, SaveEvent(EventXmlOf(kLaptop,
                                      "<zelk:Plugin><zelk:PluginData dt:dt=\"bin.base64\">AQ==</zelk:PluginData>"
                                      "<zelk:OndrixEventTypeId>1</zelk:OndrixEventTypeId></zelk:Plugin>"
                                      "<zelk:Plugin><zelk:PluginData dt:dt=\"i4\">12</zelk:PluginData>"
                                      "<zelk:OndrixEventTypeId>2</zelk:OndrixEventTypeId></zelk:Plugin>"
                                      "<zelk:Plugin><zelk:PluginData dt:dt=\"bin.base64\">Aw==</zelk:PluginData>"
                                      "<zelk:OndrixEventTypeId>3</zelk:OndrixEventTypeId></zelk:Plugin>")));
    EXPECT_EQ((std::vector<Row>{{"1", "X'01'"}, {"3", "X'03'"}}),
              Rows("SELECT EventID, Data FROM ZELKOndrixEvents ORDER BY AutoID"));
    EXPECT_EQ(2u, Interfaces().size());  // the save went on
    EXPECT_EQ(1u, debug.Lines().size());
}

TEST_F(DetectedSystemSave, AFailingInterfaceCallEndsTheSaveAndKeepsWhatWasStored) {
    Exec(
        "CREATE TRIGGER refuse_second_nic BEFORE INSERT ON ZELKDetectedInterfaces WHEN NEW.MAC = '0024E8112234' "
        "BEGIN SELECT RAISE(ABORT, 'interface refused'); END;");
    DebugOutputCapture debug;
    const std::string third =
        "<zelk:Interface><zelk:MACAddress>00:24:E8:11:22:35</zelk:MACAddress>"
        "<zelk:Address>10.9.9.9</zelk:Address></zelk:Interface>";
    EXPECT_LT(SaveEvent(EventXmlOf(std::string(kLaptop) + third, kTwoPlugins)), 0);
    const std::vector<LoggedStatement> sent = NewStatements();
    // Procedure, read-back, two events, the own address, the first interface,
    // the refused second one; the third interface is never sent.
    ASSERT_EQ(7u, sent.size());
    EXPECT_EQ("ok", sent[5].result);
    EXPECT_NE("ok", sent[6].result);
    EXPECT_EQ(1u, Count("ZELKDetectedSystemProperties"));
    EXPECT_EQ(2u, Count("ZELKOndrixEvents"));
    EXPECT_EQ(1u, Interfaces().size());
    ASSERT_EQ(1u, debug.Lines().size());
    EXPECT_NE(std::string::npos, debug.Lines()[0].find("interface refused")) << debug.Lines()[0];
}

TEST_F(DetectedSystemSave, ANullConnectionFailsAtTheFirstCall) {
    DebugOutputCapture debug;
    ZELKXML::ECEvent document = Document(AnalyzerXml(kAnalyzerNode) + EventXmlOf(kLaptop));
    DetectedSystem system(document.Events.at(0), document.Analyzer.Node, 7);
    EXPECT_LT(system.Save(nullptr), 0);
    EXPECT_EQ(1u, debug.Lines().size());
}

}  // namespace
}  // namespace marlind_test
