// `morvhost sensors`, `systems` and `system` over a database filled with
// known rows, written straight into the SQLite file as the plug-in and the
// stored procedures would leave them (addresses as 16-byte blobs, times as
// stored text, NULLs where nothing was sent).
#include <sqlite3.h>

#include "HostTestSupport.h"

namespace {

using namespace morvhost_test;

const char kRows[] = R"sql(
INSERT INTO ZELKSensorProperties (SensorName, Description, AgentGUID, ComputerName, SensorType, ElectionType, DHCP,
                                  SensorVersion, LastCommunicationTime, FirstRecordedTime, LastRecordedTime)
VALUES ('Café "north"' || char(9) || 'wing', 'north', '{6F9619FF-8B86-D011-B42D-00C04FC964FF}', 'sensor01', 1, 2, 1,
        '4.8', '2013-03-08 13:47:20.123', '2013-03-08 13:47:21.000', '2013-03-09 08:00:01.000');
INSERT INTO ZELKSensorProperties (SensorType, DHCP) VALUES (0, 0);
INSERT INTO ZELKSubnetProperties (SubnetName, IPV6, IPV6Mask) VALUES
  ('10.1.2.0', X'00000000000000000000FFFF0A010200', X'00000000000000000000FFFFFFFFFF00'),
  ('2001:db8:0:12::', X'20010DB8000000120000000000000000', X'FFFFFFFFFFFFFFFF0000000000000000'),
  ('10.9.0.0', X'00000000000000000000FFFF0A090000', X'00000000000000000000FFFFFF00FF00');
INSERT INTO ZELKSensorToSubnet VALUES (1, 1), (1, 2), (2, 1), (2, 3);
INSERT INTO ZELKDetectedSystemProperties (DnsName, MAC, IPV6, OSPlatform, OSFamily, OSVersion, DeviceType, Users,
                                          LastDetectedTime, DetectedSourceType, SourceSensorID, [Exception], NetbiosName)
VALUES ('ws042', '005056ABCD01', X'00000000000000000000FFFF0A01022A', 'Windows', 'Workstation', '6.1', 'computer',
        'LAB\jdoe,LAB\msmith', '2013-03-08 13:41:12.000', 'zelk.broadcast', 1, 1, 'WS042');
INSERT INTO ZELKDetectedSystemProperties (MAC, IPV6, LastDetectedTime, DetectedSourceType, SourceSensorID, NewDetection)
VALUES ('F8A9D0010203', X'FE800000000000000000000000000001', '2013-03-09 08:00:00.500', 'zelk.dhcp', 2, 1);
INSERT INTO ZELKDetectedSystemProperties (MAC) VALUES (NULL);
INSERT INTO ZELKDetectedInterfaces (HostID, MAC, IPV6, IPV6Mask, IPV6Subnet, FirstDetectedTime, LastDetectedTime,
                                    SourceSensorID, SourceType) VALUES
  (1, '005056ABCD01', X'00000000000000000000FFFF0A01022A', X'00000000000000000000FFFFFFFFFF00',
   X'00000000000000000000FFFF0A010200', '2013-03-08 13:41:12.000', '2013-03-08 13:41:12.000', 1, 'zelk.broadcast'),
  (1, '005056ABCD03', X'20010DB800000012025056FFFEABCD03', X'FFFFFFFFFFFFFFFF0000000000000000',
   X'20010DB8000000120000000000000000', '2013-03-08 13:41:12.000', '2013-03-08 13:41:12.000', 1, 'zelk.broadcast'),
  (2, 'F8A9D0010203', X'FE800000000000000000000000000001', NULL, NULL, '2013-03-09 08:00:00.500',
   '2013-03-09 08:00:00.500', 2, 'zelk.dhcp');
INSERT INTO ZELKOndrixEvents (EventID, DetectedSystemId, Data, EventAddedUtc) VALUES
  ('30001', 1, X'000102030405060708090A0B0C0D0E0F', '2013-03-08 13:50:00.000'),
  ('30002', 2, X'FFFEFDFCFBFAF9F8F7F6F5F4F3F2F1F0EFEEEDECEBEAE9E8E7E6E5E4E3E2', '2013-03-09 08:00:01.000');
)sql";

class InventoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = folder_.path() + "/host.db";
        Outcome init = RunMorvhost({"init", "--db=" + db_});
        ASSERT_EQ(init.status, 0) << init.err;
    }

    void Fill() {
        sqlite3* connection = nullptr;
        ASSERT_EQ(sqlite3_open(db_.c_str(), &connection), SQLITE_OK);
        char* error = nullptr;
        int rc = sqlite3_exec(connection, kRows, nullptr, nullptr, &error);
        std::string reason = error ? error : "";
        sqlite3_free(error);
        sqlite3_close(connection);
        ASSERT_EQ(rc, SQLITE_OK) << reason;
    }

    Outcome Host(std::vector<std::string> arguments) {
        arguments.push_back("--db=" + db_);
        return RunMorvhost(arguments);
    }

    JsonValue Json(std::vector<std::string> arguments) {
        Outcome outcome = Host(std::move(arguments));
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        return ParseJson(outcome.out);
    }

    TempFolder folder_;
    std::string db_;
};

TEST_F(InventoryTest, EmptyDatabaseSaysSoAndJsonIsAnEmptyList) {
    EXPECT_EQ(Host({"sensors"}).out, "no sensors recorded\n");
    EXPECT_EQ(Host({"systems"}).out, "no detected systems recorded\n");
    EXPECT_EQ(Host({"sensors", "--json"}).out, "[]\n");
    EXPECT_EQ(Host({"systems", "--json"}).out, "[]\n");
}

TEST_F(InventoryTest, SensorsTableAlignsEachSensorWithItsSubnets) {
    Fill();
    Outcome outcome = Host({"sensors"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    // "é" is one column although two bytes; the tab in the name becomes a space.
    EXPECT_EQ(outcome.out,
              "ID  NAME               AGENT GUID                              COMPUTER  TYPE       DHCP  VERSION  "
              "LAST COMMUNICATION       SUBNETS\n"
              "1   Café \"north\" wing  {6F9619FF-8B86-D011-B42D-00C04FC964FF}  sensor01  detection  yes   4.8      "
              "2013-03-08 13:47:20.123  10.1.2.0/24, 2001:db8:0:12::/64\n"
              "2                                                                        passive    no                "
              "                      10.1.2.0/24, 10.9.0.0/255.0.255.0\n");
}

TEST_F(InventoryTest, SensorsJsonCarriesEveryValueAndNulls) {
    Fill();
    JsonValue sensors = Json({"sensors", "--json"});
    ASSERT_EQ(sensors.Size(), 2u);
    const JsonValue& first = sensors[0];
    EXPECT_EQ(first["id"].Number(), 1);
    EXPECT_EQ(first["name"].Text(), "Café \"north\"\twing");
    EXPECT_EQ(first["description"].Text(), "north");
    EXPECT_EQ(first["agentGuid"].Text(), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
    EXPECT_EQ(first["type"].Text(), "detection");
    EXPECT_EQ(first["election"].Text(), "voting");
    EXPECT_TRUE(first["dhcp"].Bool());
    EXPECT_EQ(first["lastCommunicationTime"].Text(), "2013-03-08 13:47:20.123");
    EXPECT_EQ(first["lastRecordedTime"].Text(), "2013-03-09 08:00:01.000");
    ASSERT_EQ(first["subnets"].Size(), 2u);
    EXPECT_EQ(first["subnets"][0]["address"].Text(), "10.1.2.0");
    EXPECT_EQ(first["subnets"][0]["mask"].Text(), "255.255.255.0");
    EXPECT_EQ(first["subnets"][0]["prefixLength"].Number(), 24);
    EXPECT_EQ(first["subnets"][1]["address"].Text(), "2001:db8:0:12::");
    EXPECT_EQ(first["subnets"][1]["mask"].Text(), "ffff:ffff:ffff:ffff::");
    EXPECT_EQ(first["subnets"][1]["prefixLength"].Number(), 64);

    const JsonValue& second = sensors[1];
    EXPECT_TRUE(second["name"].IsNull());
    EXPECT_TRUE(second["agentGuid"].IsNull());
    EXPECT_TRUE(second["lastCommunicationTime"].IsNull());
    EXPECT_EQ(second["type"].Text(), "passive");
    EXPECT_EQ(second["election"].IsNull(), true);
    EXPECT_FALSE(second["dhcp"].Bool());
    ASSERT_EQ(second["subnets"].Size(), 2u);
    EXPECT_EQ(second["subnets"][0]["id"].Number(), 1) << "a subnet two sensors cover is listed under both";
    EXPECT_EQ(second["subnets"][1]["mask"].Text(), "255.0.255.0");
    EXPECT_TRUE(second["subnets"][1]["prefixLength"].IsNull()) << "the mask is not contiguous";
}

TEST_F(InventoryTest, SystemsTableListsEverySystemOldestFirst) {
    Fill();
    Outcome outcome = Host({"systems"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(
        outcome.out,
        "HOSTID  MAC           ADDRESS    DNS NAME  OS                       DEVICE    SOURCE          SENSOR  "
        "LAST DETECTED            INTERFACES  EVENTS  EXCEPTION\n"
        "1       005056ABCD01  10.1.2.42  ws042     Windows Workstation 6.1  computer  zelk.broadcast  1       "
        "2013-03-08 13:41:12.000  2           1       yes\n"
        "2       F8A9D0010203  fe80::1                                                 zelk.dhcp       2       "
        "2013-03-09 08:00:00.500  1           1\n"
        "3                                                                                                         "
        "                     0           0\n");
}

TEST_F(InventoryTest, SystemsJsonNestsInterfacesAndEventsUnderTheirSystem) {
    Fill();
    JsonValue systems = Json({"systems", "--json"});
    ASSERT_EQ(systems.Size(), 3u);
    const JsonValue& ws = systems[0];
    EXPECT_EQ(ws["hostId"].Number(), 1);
    EXPECT_EQ(ws["mac"].Text(), "005056ABCD01");
    EXPECT_EQ(ws["address"].Text(), "10.1.2.42");
    EXPECT_EQ(ws["users"].Text(), "LAB\\jdoe,LAB\\msmith");
    EXPECT_EQ(ws["netbiosName"].Text(), "WS042");
    EXPECT_TRUE(ws["exception"].Bool());
    EXPECT_EQ(ws["detectionType"].Text(), "detectedSystem");
    ASSERT_EQ(ws["interfaces"].Size(), 2u);
    EXPECT_EQ(ws["interfaces"][0]["subnet"].Text(), "10.1.2.0");
    EXPECT_EQ(ws["interfaces"][0]["mask"].Text(), "255.255.255.0");
    EXPECT_EQ(ws["interfaces"][1]["mac"].Text(), "005056ABCD03");
    EXPECT_EQ(ws["interfaces"][1]["address"].Text(), "2001:db8:0:12:250:56ff:feab:cd03");
    ASSERT_EQ(ws["events"].Size(), 1u);
    EXPECT_EQ(ws["events"][0]["eventId"].Text(), "30001");
    EXPECT_EQ(ws["events"][0]["size"].Number(), 16);
    EXPECT_EQ(ws["events"][0]["data"].Text(), "AAECAwQFBgcICQoLDA0ODw==");

    const JsonValue& phone = systems[1];
    EXPECT_EQ(phone["address"].Text(), "fe80::1");
    EXPECT_TRUE(phone["dnsName"].IsNull());
    EXPECT_TRUE(phone["newDetection"].Bool());
    ASSERT_EQ(phone["interfaces"].Size(), 1u);
    EXPECT_TRUE(phone["interfaces"][0]["mask"].IsNull());
    ASSERT_EQ(phone["events"].Size(), 1u);
    EXPECT_EQ(phone["events"][0]["size"].Number(), 30);

    const JsonValue& bare = systems[2];
    EXPECT_TRUE(bare["mac"].IsNull());
    EXPECT_TRUE(bare["address"].IsNull());
    EXPECT_TRUE(bare["lastDetectedTime"].IsNull());
    EXPECT_EQ(bare["interfaces"].Size(), 0u);
    EXPECT_EQ(bare["events"].Size(), 0u);
}

TEST_F(InventoryTest, SystemsFilterBySensorAndDetectionTime) {
    Fill();
    auto hostIds = [&](std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"systems", "--json"});
        JsonValue systems = Json(arguments);
        std::vector<long long> ids;
        for (const JsonValue& system : systems.items) ids.push_back(system["hostId"].Number());
        return ids;
    };
    EXPECT_EQ(hostIds({"--sensor", "1"}), std::vector<long long>{1});
    EXPECT_EQ(hostIds({"--sensor", "2"}), std::vector<long long>{2});
    // Systems never detected (no time) are left out by any --since.
    EXPECT_EQ(hostIds({"--since", "2013-03-08"}), (std::vector<long long>{1, 2}));
    EXPECT_EQ(hostIds({"--since", "2013-03-08T13:41:12Z"}), (std::vector<long long>{1, 2})) << "at the time counts";
    EXPECT_EQ(hostIds({"--since", "2013-03-08 13:41:12.001"}), std::vector<long long>{2});
    EXPECT_EQ(hostIds({"--since", "2013-03-09 08:00:00.5"}), std::vector<long long>{2});
    EXPECT_EQ(hostIds({"--since", "2013-03-09T08:00:01"}), std::vector<long long>{});
    EXPECT_EQ(hostIds({"--since", "2013-03-08", "--sensor", "2"}), std::vector<long long>{2});
    EXPECT_EQ(Host({"systems", "--since", "2014-01-01"}).out, "no detected system matches\n");
}

TEST_F(InventoryTest, BadFiltersFailWithAReason) {
    Fill();
    for (const char* time : {"yesterday", "2013-02-29", "2013-03-08 24:00", "2013-03-08T13:41:12.", "2013-3-8",
                             "2013-03-08 13:41:12Zulu"}) {
        Outcome outcome = Host({"systems", "--since", time});
        EXPECT_NE(outcome.status, 0) << time;
        EXPECT_TRUE(IsOneLineReason(outcome.err)) << outcome.err;
    }
    Outcome unknownSensor = Host({"systems", "--sensor", "9"});
    EXPECT_NE(unknownSensor.status, 0);
    EXPECT_TRUE(IsOneLineReason(unknownSensor.err)) << unknownSensor.err;
    EXPECT_NE(unknownSensor.err.find("9"), std::string::npos);
}

TEST_F(InventoryTest, SystemShowsOneSystemWithItsInterfacesAndEvents) {
    Fill();
    Outcome outcome = Host({"system", "1"});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_NE(outcome.out.find("Host ID           1\nMAC               005056ABCD01\nAddress           10.1.2.42\n"),
              std::string::npos)
        << outcome.out;
    EXPECT_NE(outcome.out.find("Users             LAB\\jdoe,LAB\\msmith\n"), std::string::npos);
    EXPECT_NE(outcome.out.find("Exception         yes\n"), std::string::npos);
    EXPECT_NE(outcome.out.find("\nInterfaces (2)\n"
                               "ID  MAC           ADDRESS                           SUBNET              "
                               "FIRST DETECTED           LAST DETECTED            SENSOR  SOURCE\n"
                               "1   005056ABCD01  10.1.2.42                         10.1.2.0/24         "
                               "2013-03-08 13:41:12.000  2013-03-08 13:41:12.000  1       zelk.broadcast\n"
                               "2   005056ABCD03  2001:db8:0:12:250:56ff:feab:cd03  2001:db8:0:12::/64  "
                               "2013-03-08 13:41:12.000  2013-03-08 13:41:12.000  1       zelk.broadcast\n"),
              std::string::npos)
        << outcome.out;
    EXPECT_NE(outcome.out.find("\nPlug-in events (1)\n"
                               "ID  EVENT ID  ADDED                    SIZE  DATA\n"
                               "1   30001     2013-03-08 13:50:00.000  16    000102030405060708090A0B0C0D0E0F\n"),
              std::string::npos)
        << outcome.out;

    Outcome phone = Host({"system", "2"});
    EXPECT_NE(phone.out.find("30002     2013-03-09 08:00:01.000  30    "
                             "FFFEFDFCFBFAF9F8F7F6F5F4F3F2F1F0EFEEEDECEBEAE9E8...\n"),
              std::string::npos)
        << "long plug-in data is cut short in the text form\n"
        << phone.out;

    JsonValue json = Json({"system", "2", "--json"});
    EXPECT_EQ(json["hostId"].Number(), 2);
    EXPECT_EQ(json["events"][0]["data"].Text(), "//79/Pv6+fj39vX08/Lx8O/u7ezr6uno5+bl5OPi");

    Outcome bare = Host({"system", "3"});
    ASSERT_EQ(bare.status, 0) << bare.err;
    EXPECT_NE(bare.out.find("\nInterfaces (0)\n\nPlug-in events (0)\n"), std::string::npos) << bare.out;
}

TEST_F(InventoryTest, UnknownOrMalformedHostIdFailsWithAReason) {
    Fill();
    for (const char* id : {"4", "0", "abc", "1x", "12345678901"}) {
        Outcome outcome = Host({"system", id});
        EXPECT_NE(outcome.status, 0) << id;
        EXPECT_TRUE(IsOneLineReason(outcome.err)) << id << ": " << outcome.err;
        EXPECT_EQ(outcome.out, "") << id;
    }
    EXPECT_NE(Host({"system", "4"}).err.find("no detected system has the host id 4"), std::string::npos);
}

}  // namespace
