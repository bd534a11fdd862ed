// The record classes: what their constructors take from the event model and
// how subnets, links and plug-in events are stored.
#include "DaoTestSupport.h"

namespace marlind_test {
namespace {

using ZELKDAO::OndrixEvent;
using ZELKDAO::Sensor;
using ZELKDAO::SensorToSubnet;
using ZELKDAO::Subnet;

Variant Text(const std::string& text) { return Variant::FromText(Ole(text)); }

class Records : public HostDatabaseTest {};

TEST_F(Records, ASubnetIsItsAddressAndMaskInSixteenByteForm) {
    Subnet subnet(Text("10.1.2.0").Get(), Text("255.255.255.0").Get());
    EXPECT_TRUE(IsText(Variant(subnet.GetValue("SubnetName")), "10.1.2.0"));
    const std::vector<unsigned char> address = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x0A, 0x01, 0x02, 0x00};
    const std::vector<unsigned char> mask = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
    EXPECT_EQ(address, Bytes(Variant(subnet.GetValue("IPV6"))));
    EXPECT_EQ(mask, Bytes(Variant(subnet.GetValue("IPV6Mask"))));

    EXPECT_EQ(1, subnet.Load(Connection()));
    const std::vector<LoggedStatement> sent = NewStatements();
    ASSERT_EQ(1u, sent.size());
    ASSERT_EQ(2u, sent[0].parameters.size());
    EXPECT_EQ(MappedIPv4("0A010200"), sent[0].parameters[0].value);
    EXPECT_EQ(MappedIPv4("FFFFFF00"), sent[0].parameters[1].value);
}

TEST_F(Records, SubnetSaveInsertsOnlyWhatIsMissing) {
    Subnet fresh(Text("10.1.2.0").Get(), Text("255.255.255.0").Get());
    EXPECT_EQ(0, fresh.Save(Connection()));
    std::vector<std::string> texts = NewStatementTexts();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ(0u, texts[0].find("SELECT"));
    EXPECT_EQ(0u, texts[1].find("SET NOCOUNT ON;\nINSERT"));
    EXPECT_EQ(0u, texts[2].find("SELECT"));
    EXPECT_EQ(Scalar("SELECT SubnetID FROM ZELKSubnetProperties"), std::to_string(fresh.GetValue("SubnetID").lVal));

    Subnet known(Text("10.1.2.0").Get(), Text("255.255.255.0").Get());
    EXPECT_EQ(0, known.Save(Connection()));
    EXPECT_EQ(1u, NewStatementTexts().size());
    EXPECT_EQ(fresh.GetValue("SubnetID").lVal, known.GetValue("SubnetID").lVal);

    // Same address, another mask: another subnet.
    Subnet wider(Text("10.1.2.0").Get(), Text("255.255.0.0").Get());
    EXPECT_EQ(0, wider.Save(Connection()));
    EXPECT_EQ(2u, Count("ZELKSubnetProperties"));
    EXPECT_NE(fresh.GetValue("SubnetID").lVal, wider.GetValue("SubnetID").lVal);
}

TEST_F(Records, AnInsertThatLosesARaceTakesTheRowTheOtherWriterStored) {
    DebugOutputCapture debug;
    Subnet mine(Text("10.1.2.0").Get(), Text("255.255.255.0").Get());
    EXPECT_EQ(1, mine.Load(Connection()));
    // Another writer stores the same subnet between the look-up and the insert.
    Subnet theirs(Text("10.1.2.0").Get(), Text("255.255.255.0").Get());
    ASSERT_EQ(0, theirs.Save(Connection()));
    EXPECT_EQ(0, mine.InsertOrAdopt(Connection()));
    EXPECT_EQ(theirs.GetValue("SubnetID").lVal, mine.GetValue("SubnetID").lVal);
    EXPECT_EQ(1u, Count("ZELKSubnetProperties"));
    EXPECT_TRUE(debug.Lines().empty());
    EXPECT_EQ(1, mine.Insert(Connection(), true));  // nothing left to write

    // Any other failure stands and is reported.
    Exec("CREATE TRIGGER refuse BEFORE INSERT ON ZELKSubnetProperties BEGIN SELECT RAISE(FAIL, 'no'); END;");
    Subnet refused(Text("10.9.0.0").Get(), Text("255.255.0.0").Get());
    EXPECT_LT(refused.InsertOrAdopt(Connection()), 0);
    EXPECT_EQ(1u, debug.Lines().size());
}

TEST_F(Records, ASubnetOfNonTextValuesPassesThemThroughUnconverted) {
    Subnet subnet(Variant::Null().Get(), Variant::FromLong(24).Get());
    EXPECT_EQ(VT_NULL, subnet.GetValue("SubnetName").vt);
    EXPECT_EQ(VT_NULL, subnet.GetValue("IPV6").vt);
    EXPECT_EQ(VT_I4, subnet.GetValue("IPV6Mask").vt);
}

TEST_F(Records, TheSensorTakesTheAnalyzerWithoutMarkingItsDocumentId) {
    ZELKXML::ECEvent document = Document(
        "<zelk:CreateTime>2013-03-08T13:47:20Z</zelk:CreateTime>" +
        AnalyzerXml(
            AgentXml() + "<zelk:Name>sensor01</zelk:Name>",
            "<zelk:Name>Lab sensor</zelk:Name><zelk:ProductVersion>4.8</zelk:ProductVersion>"
            "<zelk:Dhcp>1</zelk:Dhcp><zelk:Type>relay</zelk:Type><zelk:ElectionType>voting</zelk:ElectionType>"));
    Sensor sensor(document);
    EXPECT_EQ(VT_INT, sensor.GetValue("SensorID").vt);
    EXPECT_EQ(7, sensor.GetValue("SensorID").intVal);
    EXPECT_TRUE(IsText(Variant(sensor.GetValue("AgentGUID")), kAgent));
    EXPECT_TRUE(IsText(Variant(sensor.GetValue("SensorName")), "Lab sensor"));
    EXPECT_TRUE(IsText(Variant(sensor.GetValue("SensorVersion")), "4.8"));
    EXPECT_TRUE(IsText(Variant(sensor.GetValue("ComputerName")), "sensor01"));
    EXPECT_TRUE(IsText(Variant(sensor.GetValue("LastCommunicationTime")), "2013-03-08T13:47:20Z"));
    EXPECT_EQ(VT_INT, sensor.GetValue("SensorType").vt);
    EXPECT_EQ(0, sensor.GetValue("SensorType").intVal);
    EXPECT_EQ(2, sensor.GetValue("ElectionType").intVal);
    EXPECT_EQ(VT_INT, sensor.GetValue("DHCP").vt);
    EXPECT_TRUE(IsText(sensor.AnalyzerNode.Name, "sensor01"));

    // The document's id is held but never written: the server gives the row its own.
    EXPECT_EQ(0, sensor.Update(Connection(), false));
    EXPECT_EQ("1", Scalar("SELECT SensorID FROM ZELKSensorProperties"));
    EXPECT_EQ(VT_I4, sensor.GetValue("SensorID").vt);
    const std::vector<LoggedStatement> sent = NewStatements();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(std::string::npos, sent[0].text.find("[SensorID]"));
    EXPECT_EQ(0u, sent[0].text.find("UPDATE [ZELKSensorProperties] SET [SensorName] = ?,\n[LastCommunicationTime] = ?,"
                                    "\n[AgentGUID] = ?,\n[SensorType] = ?,\n[ElectionType] = ?,\n[DHCP] = ?,\n"
                                    "[SensorVersion] = ?,\n[ComputerName] = ? WHERE"))
        << sent[0].text;
}

TEST_F(Records, ALinkJoinsTheStoredSensorAndSubnet) {
    Exec("INSERT INTO ZELKSensorProperties (SensorName) VALUES ('s')");
    Sensor sensor(Document(AnalyzerXml(AgentXml())));
    sensor.SetValue("SensorID", Variant::FromLong(1), true);
    Subnet subnet(Text("10.1.2.0").Get(), Text("255.255.255.0").Get());
    ASSERT_EQ(0, subnet.Save(Connection()));
    NewStatements();

    SensorToSubnet link(sensor, subnet);
    EXPECT_EQ(0, link.Save(Connection()));
    const std::vector<std::string> texts = NewStatementTexts();
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ("SELECT * FROM [ZELKSensorToSubnet] WHERE (([SensorID] = ?) AND ([SubnetID] = ?));", texts[0]);
    EXPECT_EQ(
        "SET NOCOUNT ON;\nINSERT INTO [ZELKSensorToSubnet] ([SensorID],[SubnetID])\nVALUES (?,?);\n"
        "SELECT SCOPE_IDENTITY();\n",
        texts[1]);
    SensorToSubnet again(sensor, subnet);
    EXPECT_EQ(0, again.Save(Connection()));
    EXPECT_EQ(1u, NewStatementTexts().size());
    EXPECT_EQ(1u, Count("ZELKSensorToSubnet"));
}

TEST_F(Records, PluginEventsStoreTheirDataAsBytes) {
    Exec("INSERT INTO ZELKDetectedSystemProperties (DnsName) VALUES ('host')");
    ZELKXML::ECEvent document = Document(
        "<zelk:Event><zelk:Plugin><zelk:OndrixEventTypeId>ondrix.scan</zelk:OndrixEventTypeId>"
        "<zelk:PluginData dt:dt=\"bin.hex\">0aff</zelk:PluginData></zelk:Plugin>"
        "<zelk:Plugin><zelk:OndrixEventTypeId>ondrix.note</zelk:OndrixEventTypeId>"
        "<zelk:PluginData>AB</zelk:PluginData></zelk:Plugin></zelk:Event>");
    ASSERT_EQ(1u, document.Events.size());
    ASSERT_EQ(2u, document.Events[0].Plugins.size());
    for (const ZELKXML::Plugin& plugin : document.Events[0].Plugins) {
        OndrixEvent event(1, plugin);
        EXPECT_EQ(VT_INT, event.GetValue("DetectedSystemId").vt);
        EXPECT_EQ(VT_DATE, event.GetValue("EventAddedUtc").vt);
        EXPECT_EQ(0, event.Insert(Connection(), false));
    }
    const std::vector<Row> rows = Rows("SELECT EventID, DetectedSystemId, Data FROM ZELKOndrixEvents ORDER BY AutoID");
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ((Row{"ondrix.scan", "1", "X'0AFF'"}), rows[0]);
    // A text goes through the platform's conversion: its UTF-16 code units.
    EXPECT_EQ((Row{"ondrix.note", "1", "X'41004200'"}), rows[1]);
}

}  // namespace
}  // namespace marlind_test
