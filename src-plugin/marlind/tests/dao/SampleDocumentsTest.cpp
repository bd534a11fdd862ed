// Every sample document recorded as the message handler records it, checked
// against what the database then holds.
#include "DaoTestSupport.h"

namespace marlind_test {
namespace {

struct StoredCounts {
    size_t sensors, subnets, links, systems, interfaces, events;
    bool operator==(const StoredCounts& o) const {
        return sensors == o.sensors && subnets == o.subnets && links == o.links && systems == o.systems &&
               interfaces == o.interfaces && events == o.events;
    }
};

std::ostream& operator<<(std::ostream& out, const StoredCounts& c) {
    return out << "{sensors " << c.sensors << ", subnets " << c.subnets << ", links " << c.links << ", systems "
               << c.systems << ", interfaces " << c.interfaces << ", events " << c.events << "}";
}

struct SampleCase {
    const char* file;
    StoredCounts expected;
};

void PrintTo(const SampleCase& sample, std::ostream* out) { *out << sample.file; }

class SampleDocuments : public HostDatabaseTest, public ::testing::WithParamInterface<SampleCase> {
protected:
    void Record(const std::string& file) {
        DebugOutputCapture quiet;
        RecordDocument(LoadPayload(ReadFileBytes(SamplePath(file))), Connection());
    }
    StoredCounts Stored() {
        return {Count("ZELKSensorProperties"),         Count("ZELKSubnetProperties"),   Count("ZELKSensorToSubnet"),
                Count("ZELKDetectedSystemProperties"), Count("ZELKDetectedInterfaces"), Count("ZELKOndrixEvents")};
    }
};

TEST_P(SampleDocuments, LeaveTheRowsTheyDescribeAndNoMoreWhenSentAgain) {
    Record(GetParam().file);
    EXPECT_EQ(GetParam().expected, Stored());
    // The same document again matches everything it wrote; only plug-in events accumulate.
    Record(GetParam().file);
    StoredCounts again = GetParam().expected;
    again.events *= 2;
    EXPECT_EQ(again, Stored());
}

// A sensor's host carries one to three address pairs; the own-address call of
// a detection merges with the interface of the same MAC and address. Documents
// that do not load, or whose sensor has no agent identity, record nothing.
INSTANTIATE_TEST_SUITE_P(EventSamples, SampleDocuments,
                         ::testing::Values(SampleCase{"sensor-one-subnet.xml", {1, 1, 1, 1, 1, 0}},
                                           SampleCase{"sensor-two-subnets.xml", {1, 2, 2, 1, 1, 0}},
                                           SampleCase{"sensor-three-subnets.xml", {1, 3, 3, 1, 1, 0}},
                                           // Eight machines, 17 interfaces, four plug-in blocks.
                                           SampleCase{"detections-every-device-type.xml", {1, 2, 2, 8, 17, 4}},
                                           // No MAC at the machines: matched by address; the own
                                           // address (no MAC) and two interfaces are three rows each.
                                           SampleCase{"ten-detections.xml", {1, 1, 1, 10, 30, 0}},
                                           SampleCase{"other-classification.xml", {1, 1, 1, 0, 0, 0}},
                                           SampleCase{"no-classification.xml", {1, 1, 1, 0, 0, 0}},
                                           SampleCase{"sensor-without-dhcp.xml", {0, 0, 0, 0, 0, 0}},
                                           SampleCase{"empty.xml", {0, 0, 0, 0, 0, 0}},
                                           SampleCase{"truncated.xml", {0, 0, 0, 0, 0, 0}},
                                           SampleCase{"mismatched-tags.xml", {0, 0, 0, 0, 0, 0}},
                                           SampleCase{"violates-own-dtd.xml", {0, 0, 0, 0, 0, 0}}),
                         [](const ::testing::TestParamInfo<SampleCase>& info) {
                             std::string name;
                             for (const char* c = info.param.file; *c && *c != '.'; ++c)
                                 name += std::isalnum(*c) ? *c : '_';
                             return name;
                         });

class SampleContents : public SampleDocuments {};

TEST_F(SampleContents, TheDeviceTypeSampleStoresEachMachineAsDescribed) {
    Record("detections-every-device-type.xml");
    const std::string sensor = Scalar("SELECT SensorID FROM ZELKSensorProperties");
    EXPECT_EQ((std::vector<Row>{{"F8A9D0010203", "zelk.dhcp", "mobile"},
                                {"005056ABCD01", "zelk.broadcast", "computer"},
                                {"001B78556677", "zelk.dhcp", "printer"},
                                {"000C869ABCDE", "zelk.broadcast", "router"},
                                {"00-1E-13-AA-BB-CC", "zelk.broadcast", "unknown"},  // a switch
                                {"0017230A0B0C", "zelk.dhcp", "mobile"},             // Windows Mobile
                                {"3C0754123456", "zelk.broadcast", "computer"},      // Macintosh
                                {"001122334455", "zelk.dhcp", "NULL"}}),             // no OSType at all
              Rows("SELECT MAC, DetectedSourceType, DeviceType FROM ZELKDetectedSystemProperties ORDER BY HostID"));
    EXPECT_EQ((std::vector<Row>{{"8"}}),
              Rows("SELECT COUNT(*) FROM ZELKDetectedSystemProperties WHERE SourceSensorID = " + sensor));
    // The machine with three interfaces, and its two plug-in blocks.
    const std::string host = Scalar("SELECT HostID FROM ZELKDetectedSystemProperties WHERE MAC = '005056ABCD01'");
    EXPECT_EQ((std::vector<Row>{{"005056ABCD01", MappedIPv4("0A01022A")},
                                {"005056ABCD02", MappedIPv4("AC10282A")},
                                {"005056ABCD03", "X'20010DB800000012025056FFFEABCD03'"}}),
              Rows("SELECT MAC, IPV6 FROM ZELKDetectedInterfaces WHERE HostID = " + host + " ORDER BY InterfaceID"));
    EXPECT_EQ((std::vector<Row>{{"30001"}, {"30002"}}),
              Rows("SELECT EventID FROM ZELKOndrixEvents WHERE DetectedSystemId = " + host + " ORDER BY AutoID"));
    EXPECT_EQ((std::vector<Row>{{"10.1.2.0"}, {"172.16.40.0"}}),
              Rows("SELECT SubnetName FROM ZELKSubnetProperties ORDER BY SubnetID"));
}

}  // namespace
}  // namespace marlind_test
