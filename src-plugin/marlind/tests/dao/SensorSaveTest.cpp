// Recording the reporting sensor: its row, its subnets and the links.
#include <thread>

#include "DaoTestSupport.h"

namespace marlind_test {
namespace {

using ZELKDAO::Sensor;

const char kCreateTime[] = "<zelk:CreateTime>2013-03-08T13:47:20Z</zelk:CreateTime>";
const char kLabSubnet[] =
    "<zelk:SubnetMask>255.255.255.0</zelk:SubnetMask><zelk:NetworkAddress>10.1.2.0</zelk:NetworkAddress>";

std::string SensorDocument(const std::string& nodeBody, const std::string& before = kCreateTime,
                           const std::string& sensorBody =
                               "<zelk:Name>Lab sensor</zelk:Name><zelk:ProductVersion>4.8"
                               "</zelk:ProductVersion><zelk:Dhcp>1</zelk:Dhcp>") {
    return before + AnalyzerXml(AgentXml() + "<zelk:Name>sensor01</zelk:Name>" + nodeBody, sensorBody);
}

class SensorSave : public HostDatabaseTest {
protected:
    LONG Save(const std::string& body) {
        Sensor sensor(Document(body));
        const LONG result = sensor.Save(Connection());
        savedId_ = sensor.GetValue("SensorID").vt == VT_I4 ? sensor.GetValue("SensorID").lVal : -1;
        return result;
    }
    Row SensorRow() {
        const std::vector<Row> rows = Rows(
            "SELECT SensorName, Description, LastCommunicationTime, FirstRecordedTime, LastRecordedTime, AgentGUID, "
            "ComputerName, SensorType, ElectionType, DHCP, SensorVersion FROM ZELKSensorProperties");
        EXPECT_EQ(1u, rows.size());
        return rows.empty() ? Row() : rows[0];
    }
    LONG savedId_ = -1;
};

TEST_F(SensorSave, AFirstMessageInsertsTheSensorItsSubnetAndTheLink) {
    ASSERT_EQ(0, Save(SensorDocument(kLabSubnet)));
    const std::vector<std::string> expected = {
        "SELECT * FROM [ZELKSensorProperties] WHERE (([AgentGUID] = ?));",
        "UPDATE [ZELKSensorProperties] SET [SensorName] = ?,\n[LastCommunicationTime] = ?,\n[AgentGUID] = ?,\n"
        "[SensorType] = ?,\n[ElectionType] = ?,\n[DHCP] = ?,\n[SensorVersion] = ?,\n[Description] = ?,\n"
        "[ComputerName] = ?,\n[FirstRecordedTime] = ?,\n[LastRecordedTime] = ? WHERE (([AgentGUID] = ?));",
        "SET NOCOUNT ON;\nINSERT INTO [ZELKSensorProperties] ([SensorName],[LastCommunicationTime],[AgentGUID],"
        "[SensorType],[ElectionType],[DHCP],[SensorVersion],[Description],[ComputerName],[FirstRecordedTime],"
        "[LastRecordedTime])\nVALUES (?,?,?,?,?,?,?,?,?,?,?);\nSELECT SCOPE_IDENTITY();\n",
        "SELECT * FROM [ZELKSensorProperties] WHERE (([AgentGUID] = ?));",
        "SELECT * FROM [ZELKSubnetProperties] WHERE (([IPV6] = ?) AND ([IPV6Mask] = ?));",
        "SET NOCOUNT ON;\nINSERT INTO [ZELKSubnetProperties] ([SubnetName],[IPV6],[IPV6Mask])\nVALUES (?,?,?);\n"
        "SELECT SCOPE_IDENTITY();\n",
        "SELECT * FROM [ZELKSubnetProperties] WHERE (([IPV6] = ?) AND ([IPV6Mask] = ?));",
        "SELECT * FROM [ZELKSensorToSubnet] WHERE (([SensorID] = ?) AND ([SubnetID] = ?));",
        "SET NOCOUNT ON;\nINSERT INTO [ZELKSensorToSubnet] ([SensorID],[SubnetID])\nVALUES (?,?);\n"
        "SELECT SCOPE_IDENTITY();\n",
        "SELECT * FROM [ZELKSensorToSubnet] WHERE (([SensorID] = ?) AND ([SubnetID] = ?));",
    };
    EXPECT_EQ(expected, NewStatementTexts());

    const Row row = SensorRow();
    ASSERT_EQ(11u, row.size());
    EXPECT_EQ("Lab sensor", row[0]);
    EXPECT_EQ("Lab sensor", row[1]);  // the description starts as the name
    // A new sensor's times are all the one instant of processing.
    EXPECT_EQ(row[2], row[3]);
    EXPECT_EQ(row[3], row[4]);
    EXPECT_NE("NULL", row[4]);
    EXPECT_EQ(kAgent, row[5]);
    EXPECT_EQ((Row{"sensor01", "1", "0", "1", "4.8"}), Row(row.begin() + 6, row.end()));

    EXPECT_EQ(Scalar("SELECT SensorID FROM ZELKSensorProperties"), std::to_string(savedId_));
    EXPECT_EQ((std::vector<Row>{{std::to_string(savedId_), Scalar("SELECT SubnetID FROM ZELKSubnetProperties")}}),
              Rows("SELECT SensorID, SubnetID FROM ZELKSensorToSubnet"));
    EXPECT_EQ((std::vector<Row>{{"10.1.2.0", MappedIPv4("0A010200"), MappedIPv4("FFFFFF00")}}),
              Rows("SELECT SubnetName, IPV6, IPV6Mask FROM ZELKSubnetProperties"));
}

TEST_F(SensorSave, ALaterMessageUpdatesTheSensorAndKeepsWhatItFirstRecorded) {
    ASSERT_EQ(0, Save(SensorDocument(kLabSubnet)));
    const Row first = SensorRow();
    Exec("UPDATE ZELKSensorProperties SET Description = 'Rack 4 sensor'");
    NewStatements();

    ASSERT_EQ(0, Save(SensorDocument(kLabSubnet, kCreateTime,
                                     "<zelk:Name>Renamed</zelk:Name><zelk:ProductVersion>4.9</zelk:ProductVersion>"
                                     "<zelk:Dhcp>0</zelk:Dhcp>")));
    const std::vector<std::string> texts = NewStatementTexts();
    const std::vector<std::string> expected = {
        "SELECT * FROM [ZELKSensorProperties] WHERE (([AgentGUID] = ?));",
        "UPDATE [ZELKSensorProperties] SET [SensorName] = ?,\n[LastCommunicationTime] = ?,\n[AgentGUID] = ?,\n"
        "[SensorType] = ?,\n[ElectionType] = ?,\n[DHCP] = ?,\n[SensorVersion] = ?,\n[ComputerName] = ?,\n"
        "[LastRecordedTime] = ? WHERE (([AgentGUID] = ?));",
        "SELECT * FROM [ZELKSensorProperties] WHERE (([AgentGUID] = ?));",
        "SELECT * FROM [ZELKSubnetProperties] WHERE (([IPV6] = ?) AND ([IPV6Mask] = ?));",
        "SELECT * FROM [ZELKSensorToSubnet] WHERE (([SensorID] = ?) AND ([SubnetID] = ?));",
    };
    EXPECT_EQ(expected, texts);

    const Row row = SensorRow();
    EXPECT_EQ("Renamed", row[0]);
    EXPECT_EQ("Rack 4 sensor", row[1]);
    EXPECT_EQ("2013-03-08 13:47:20.000", row[2]);  // the document's creation time
    EXPECT_EQ(first[3], row[3]);                   // first recorded stays
    EXPECT_GE(row[4], first[4]);
    EXPECT_EQ("0", row[9]);
    EXPECT_EQ(1u, Count("ZELKSensorProperties"));
    EXPECT_EQ(1u, Count("ZELKSubnetProperties"));
    EXPECT_EQ(1u, Count("ZELKSensorToSubnet"));
}

TEST_F(SensorSave, AKnownSensorWithoutADescriptionTakesItsName) {
    ASSERT_EQ(0, Save(SensorDocument(kLabSubnet)));
    Exec("UPDATE ZELKSensorProperties SET Description = NULL");
    ASSERT_EQ(0, Save(SensorDocument(kLabSubnet)));
    EXPECT_EQ("Lab sensor", SensorRow()[1]);
}

TEST_F(SensorSave, EachUsableAddressPairIsOneSubnetAndOneLink) {
    // The same pair twice finds what the first wrote; a pair without its mask is skipped.
    ASSERT_EQ(
        0, Save(SensorDocument(std::string(kLabSubnet) + "<zelk:Ipv4SubnetMask>255.255.255.0</zelk:Ipv4SubnetMask>"
                                                         "<zelk:Ipv4SubnetAddress>10.1.2.0</zelk:Ipv4SubnetAddress>"
                                                         "<zelk:Ipv6SubnetAddress>fd00:1::</zelk:Ipv6SubnetAddress>")));
    EXPECT_EQ(1u, Count("ZELKSubnetProperties"));
    EXPECT_EQ(1u, Count("ZELKSensorToSubnet"));

    ASSERT_EQ(0, Save(SensorDocument("<zelk:SubnetMask>255.255.255.0</zelk:SubnetMask><zelk:NetworkAddress>10.1.3.0"
                                     "</zelk:NetworkAddress><zelk:Ipv4SubnetMask>255.255.252.0</zelk:Ipv4SubnetMask>"
                                     "<zelk:Ipv4SubnetAddress>172.16.40.0</zelk:Ipv4SubnetAddress>"
                                     "<zelk:Ipv6SubnetMask>ffff:ffff:ffff:ffff::</zelk:Ipv6SubnetMask>"
                                     "<zelk:Ipv6SubnetAddress>fd00:1::</zelk:Ipv6SubnetAddress>")));
    EXPECT_EQ((std::vector<Row>{{"10.1.2.0"}, {"10.1.3.0"}, {"172.16.40.0"}, {"fd00:1::"}}),
              Rows("SELECT SubnetName FROM ZELKSubnetProperties ORDER BY SubnetID"));
    EXPECT_EQ("X'FD000001000000000000000000000000'",
              Scalar("SELECT IPV6 FROM ZELKSubnetProperties WHERE SubnetName = 'fd00:1::'"));
    EXPECT_EQ(4u, Count("ZELKSensorToSubnet"));  // links accumulate: the sensor covered both at some time
}

TEST_F(SensorSave, ASensorWithoutAnAgentIdentityIsNotWritten) {
    DebugOutputCapture debug;
    // No "zelk:Node" at all, an element without an identity, and an empty one.
    for (const std::string& body :
         {std::string(kCreateTime) + "<zelk:Analyzer><zelk:Sensor id=\"7\"><zelk:Name>s</zelk:Name><zelk:Dhcp>1"
                                     "</zelk:Dhcp></zelk:Sensor></zelk:Analyzer>",
          std::string(kCreateTime) + AnalyzerXml(kLabSubnet), std::string(kCreateTime) + AnalyzerXml(AgentXml(""))}) {
        Sensor sensor(Document(body));
        EXPECT_EQ(1, sensor.Save(Connection())) << body;
        EXPECT_EQ(VT_INT, sensor.GetValue("SensorID").vt);  // the document's id stands
        EXPECT_EQ(7, sensor.GetValue("SensorID").intVal);
    }
    EXPECT_TRUE(NewStatements().empty());
    EXPECT_EQ(0u, Count("ZELKSensorProperties"));
    EXPECT_EQ(0u, Count("ZELKSubnetProperties"));
    ASSERT_EQ(3u, debug.Lines().size());
    EXPECT_NE(std::string::npos, debug.Lines()[0].find("no agent identity")) << debug.Lines()[0];
}

TEST_F(SensorSave, UnreadSubnetFieldsMakeNoSubnet) {
    // A sensor whose host description was never read keeps its subnet fields EMPTY.
    ZELKXML::ECEvent document;
    document.Analyzer.Node.AgentGUID.value = Variant::FromText(Ole(kAgent));
    ASSERT_EQ(VT_EMPTY, document.Analyzer.Node.Ipv4SubnetAddress.Type());
    Sensor sensor(document);
    EXPECT_EQ(0, sensor.Save(Connection()));
    EXPECT_EQ(1u, Count("ZELKSensorProperties"));
    EXPECT_EQ(0u, Count("ZELKSubnetProperties"));
    EXPECT_EQ(0u, Count("ZELKSensorToSubnet"));
}

TEST_F(SensorSave, AnUnusableDocumentTimeNeverErasesTheLastCommunication) {
    ASSERT_EQ(0, Save(SensorDocument(kLabSubnet)));
    Exec("UPDATE ZELKSensorProperties SET LastCommunicationTime = '2013-03-08 13:47:20.000'");
    // Missing, without a time of day, rejected by the calendar.
    for (const std::string& before : {std::string(), std::string("<zelk:CreateTime>2013-03-09</zelk:CreateTime>"),
                                      std::string("<zelk:CreateTime>2013-13-40T10:00:00Z</zelk:CreateTime>")}) {
        ASSERT_EQ(0, Save(SensorDocument(kLabSubnet, before)));
        const Row row = SensorRow();
        EXPECT_NE("NULL", row[2]) << before;
        EXPECT_GT(row[2], "2013-03-08 13:47:20.000") << before;  // the time of processing stood in
        EXPECT_EQ(row[2], row[4]) << before;
    }
}

TEST_F(SensorSave, AFailingLinkEndsTheSaveAndKeepsWhatWasStored) {
    Exec(
        "CREATE TRIGGER refuse_links BEFORE INSERT ON ZELKSensorToSubnet BEGIN SELECT RAISE(ABORT, 'links "
        "refused'); END;");
    DebugOutputCapture debug;
    const LONG result =
        Save(SensorDocument(std::string(kLabSubnet) + "<zelk:Ipv4SubnetMask>255.255.252.0</zelk:Ipv4SubnetMask>"
                                                      "<zelk:Ipv4SubnetAddress>172.16.40.0</zelk:Ipv4SubnetAddress>"));
    EXPECT_LT(result, 0);
    EXPECT_EQ(1u, Count("ZELKSensorProperties"));
    EXPECT_EQ(1u, Count("ZELKSubnetProperties"));  // the second pair was never reached
    EXPECT_EQ(0u, Count("ZELKSensorToSubnet"));
    // The refused insert, then the look for a link another writer might have stored.
    const std::vector<std::string> texts = NewStatementTexts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(0u, texts[texts.size() - 2].find("SET NOCOUNT ON;\nINSERT INTO [ZELKSensorToSubnet]"));
    EXPECT_EQ(0u, texts.back().find("SELECT * FROM [ZELKSensorToSubnet]")) << texts.back();
    // Written once, by the insert that failed.
    ASSERT_EQ(1u, debug.Lines().size());
    EXPECT_NE(std::string::npos, debug.Lines()[0].find("links refused")) << debug.Lines()[0];
}

TEST_F(SensorSave, AFailingSensorRowEndsTheSaveBeforeAnySubnet) {
    Exec(
        "CREATE TRIGGER refuse_sensors BEFORE INSERT ON ZELKSensorProperties BEGIN SELECT RAISE(ABORT, 'sensors "
        "refused'); END;");
    DebugOutputCapture debug;
    EXPECT_LT(Save(SensorDocument(kLabSubnet)), 0);
    // SELECT, UPDATE, the refused INSERT, and the look for a row another writer stored.
    EXPECT_EQ(4u, NewStatements().size());
    EXPECT_EQ(0u, Count("ZELKSubnetProperties"));
    EXPECT_EQ(1u, debug.Lines().size());
}

// The first messages of one sensor, recorded at the same moment over
// connections of their own: one row, one subnet, one link, and no failure.
TEST_F(SensorSave, ConcurrentFirstMessagesOfOneSensorMakeOneRow) {
    constexpr int kThreads = 6;
    const ZELKXML::ECEvent document = Document(SensorDocument(kLabSubnet));
    for (int round = 0; round < 5; ++round) {
        Exec("DELETE FROM ZELKSensorToSubnet; DELETE FROM ZELKSensorProperties; DELETE FROM ZELKSubnetProperties");
        DebugOutputCapture debug;
        std::vector<LONG> results(kThreads, -1);
        std::vector<LONG> ids(kThreads, -1);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                CoInitializeEx(nullptr, COINIT_MULTITHREADED);
                {
                    ZELKDAO::ConnectionRef connection = ZELKDAO::ConnectionRef::Create(ZELKDAO::kCLSID_Connection);
                    connection.Call(&_ADOConnection::Open,
                                    comsupport::Bstr::FromUtf8("Provider=SQLite;Data Source=" + databasePath_).Get(),
                                    static_cast<BSTR>(nullptr), static_cast<BSTR>(nullptr),
                                    static_cast<LONG>(adConnectUnspecified));
                    Sensor sensor(document);
                    results[t] = sensor.Save(connection.Get());
                    ids[t] = sensor.GetValue("SensorID").vt == VT_I4 ? sensor.GetValue("SensorID").lVal : -1;
                }
                CoUninitialize();
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (int t = 0; t < kThreads; ++t) {
            EXPECT_EQ(0, results[t]) << "round " << round << " thread " << t;
            EXPECT_EQ(ids[0], ids[t]) << "round " << round;
        }
        EXPECT_EQ(1u, Count("ZELKSensorProperties"));
        EXPECT_EQ(1u, Count("ZELKSubnetProperties"));
        EXPECT_EQ(1u, Count("ZELKSensorToSubnet"));
        // A lost race on the sensor row is written once by its insert; subnets and links adopt silently.
        for (const std::string& line : debug.Lines()) EXPECT_NE(std::string::npos, line.find("UNIQUE")) << line;
    }
}

TEST_F(SensorSave, ANullConnectionIsReportedAndReturned) {
    DebugOutputCapture debug;
    Sensor sensor(Document(SensorDocument(kLabSubnet)));
    EXPECT_LT(sensor.Save(nullptr), 0);
    EXPECT_FALSE(debug.Lines().empty());
}

}  // namespace
}  // namespace marlind_test
