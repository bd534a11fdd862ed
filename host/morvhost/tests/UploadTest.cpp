// `morvhost upload` as the host's stand-in: the data-channel plug-in
// registered beside the program, activated by its CLSID, called with each
// document's bytes; then what landed in the database, read back through
// `morvhost sensors` and `systems`.
#include <sys/stat.h>

#include <set>

#include "HostTestSupport.h"

namespace {

using namespace morvhost_test;

#ifdef MORVHOST_HAVE_MARLIND
constexpr bool kHavePlugin = true;
#else
constexpr bool kHavePlugin = false;
#endif

std::string DemoFolder() { return SamplePath("events/demo"); }

// One sensor's document with `detections` broadcast detections, each of a
// machine with its own MAC and one more interface; every index gets its own
// sensor and subnet, as when many sensors upload at once.
std::string MakeDocument(int index, int detections) {
    char head[1024];
    snprintf(head, sizeof head,
             "<zelk:EventList xmlns:zelk=\"urn:zelk:event\">"
             "<zelk:CreateTime>2024-05-06T09:00:00Z</zelk:CreateTime>"
             "<zelk:Analyzer><zelk:Sensor><zelk:Name>Sensor %d</zelk:Name><zelk:Dhcp>1</zelk:Dhcp></zelk:Sensor>"
             "<zelk:Node><zelk:AgentGUID>{00000000-0000-4000-8000-%012d}</zelk:AgentGUID>"
             "<zelk:SubnetMask>255.255.255.0</zelk:SubnetMask><zelk:NetworkAddress>10.%d.0.0</zelk:NetworkAddress>"
             "</zelk:Node></zelk:Analyzer>",
             index, index, index);
    std::string document = head;
    for (int d = 0; d < detections; ++d) {
        char event[1024];
        snprintf(event, sizeof event,
                 "<zelk:Event><zelk:DetectTime>2024-05-06T08:%02d:00Z</zelk:DetectTime><zelk:Source><zelk:Node>"
                 "<zelk:MACAddress>02:00:00:00:%02X:%02X</zelk:MACAddress><zelk:Address>10.%d.0.%d</zelk:Address>"
                 "<zelk:Interface><zelk:MACAddress>02:00:00:01:%02X:%02X</zelk:MACAddress>"
                 "<zelk:Address>10.%d.1.%d</zelk:Address></zelk:Interface>"
                 "</zelk:Node></zelk:Source><zelk:Classification>"
                 "<zelk:EventClassification>host.detected.%s</zelk:EventClassification>"
                 "</zelk:Classification></zelk:Event>",
                 d % 60, index, d, index, d + 1, index, d, index, d + 1, d % 2 ? "dhcp" : "broadcast");
        document += event;
    }
    return document + "</zelk:EventList>\n";
}

class UploadTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kHavePlugin) GTEST_SKIP() << "the marlind plug-in is not part of this build";
        db_ = folder_.path() + "/host.db";
        registry_ = folder_.path() + "/registry";
        Outcome init = RunMorvhost({"init", "--db=" + db_});
        ASSERT_EQ(init.status, 0) << init.err;
        Outcome registered = RunMorvhost({"register", "--registry=" + registry_});
        ASSERT_EQ(registered.status, 0) << registered.err;
        ASSERT_NE(registered.out.find("marlind32"), std::string::npos) << registered.out;
    }

    Outcome Upload(std::vector<std::string> arguments, const std::string& input = "", const std::string& db = "") {
        arguments.insert(arguments.begin(), "upload");
        // Only init creates a database given with --db.
        if (!db.empty() && access(db.c_str(), F_OK) != 0) {
            EXPECT_EQ(RunMorvhost({"init", "--db=" + db}).status, 0);
        }
        arguments.push_back("--db=" + (db.empty() ? db_ : db));
        arguments.push_back("--registry=" + registry_);
        return RunMorvhost(arguments, input);
    }

    JsonValue Json(std::vector<std::string> arguments, const std::string& db = "") {
        arguments.push_back("--db=" + (db.empty() ? db_ : db));
        Outcome outcome = RunMorvhost(arguments);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        return ParseJson(outcome.out);
    }

    std::string MakeFolder(const std::string& name) {
        std::string path = folder_.path() + "/" + name;
        mkdir(path.c_str(), 0700);
        return path;
    }

    TempFolder folder_;
    std::string db_, registry_;
};

const JsonValue& SystemWithMac(const JsonValue& systems, const std::string& mac) {
    for (const JsonValue& system : systems.items)
        if (!system["mac"].IsNull() && system["mac"].Text() == mac) return system;
    throw std::runtime_error("no system with the MAC " + mac);
}

TEST_F(UploadTest, FolderGoesInNameOrderAndEverythingLands) {
    Outcome outcome = Upload({DemoFolder()});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "") << "no progress line off a terminal, no debugger output unless asked";
    EXPECT_EQ(SummaryValue(outcome.out, "messages sent").rfind("3 as ZELKMETA_SensorEvent (1 worker, ", 0), 0u)
        << outcome.out;
    EXPECT_EQ(SummaryValue(outcome.out, "detections written"), "8 (ZELKSP_UpdateDetectedSystems calls that succeeded)");
    EXPECT_EQ(SummaryValue(outcome.out, "rows added"),
              "2 sensors, 4 subnets, 5 sensor-subnet links, 7 detected systems, 12 interfaces, 4 plug-in events");
    EXPECT_EQ(SummaryValue(outcome.out, "failures"), "none reported in marlind's debugger output");

    JsonValue sensors = Json({"sensors", "--json"});
    ASSERT_EQ(sensors.Size(), 2u);
    const JsonValue& office = sensors[0];
    const JsonValue& lab = sensors[1];
    EXPECT_EQ(office["name"].Text(), "Office sensor");
    EXPECT_EQ(lab["name"].Text(), "Lab sensor");
    // The office sensor's second document came last: its creation time stands.
    EXPECT_EQ(office["lastCommunicationTime"].Text(), "2024-05-06 12:30:00.000");
    ASSERT_EQ(office["subnets"].Size(), 2u);
    ASSERT_EQ(lab["subnets"].Size(), 3u);
    std::set<std::string> labSubnets;
    for (const JsonValue& subnet : lab["subnets"].items)
        labSubnets.insert(subnet["address"].Text() + "/" + std::to_string(subnet["prefixLength"].Number()));
    EXPECT_EQ(labSubnets, (std::set<std::string>{"10.20.30.0/24", "10.20.31.0/24", "2001:db8:20::/48"}));
    EXPECT_EQ(office["subnets"][0]["address"].Text(), "10.20.30.0");
    bool shared = false;
    for (const JsonValue& subnet : lab["subnets"].items)
        shared = shared || subnet["id"].Number() == office["subnets"][0]["id"].Number();
    EXPECT_TRUE(shared) << "both sensors cover the one 10.20.30.0/24 row";

    JsonValue systems = Json({"systems", "--json"});
    ASSERT_EQ(systems.Size(), 7u);
    const JsonValue& workstation = SystemWithMac(systems, "001C420A0142");
    EXPECT_EQ(workstation["address"].Text(), "10.20.30.177") << "seen again later with a new lease";
    EXPECT_EQ(workstation["users"].Text(), "CORP\\alee,CORP\\jdoe");
    EXPECT_EQ(workstation["lastDetectedTime"].Text(), "2024-05-06 12:28:03.000");
    EXPECT_EQ(workstation["sourceType"].Text(), "zelk.dhcp");
    EXPECT_EQ(workstation["interfaces"].Size(), 2u);
    EXPECT_EQ(workstation["events"].Size(), 2u);
    EXPECT_EQ(SystemWithMac(systems, "000CCE113001")["interfaces"].Size(), 3u);
    const JsonValue& build = SystemWithMac(systems, "525400A1B201");
    ASSERT_EQ(build["events"].Size(), 2u);
    EXPECT_EQ(build["events"][1]["eventId"].Text(), "30007");
    EXPECT_EQ(build["events"][1]["data"].Text(), "ABYAUAG7H5A=");
    EXPECT_EQ(SystemWithMac(systems, "F8A9D0445566")["dnsName"].Text(), "10.20.31.57");
    EXPECT_EQ(SystemWithMac(systems, "008077312210")["deviceType"].Text(), "printer");
    EXPECT_EQ(Json({"systems", "--json", "--sensor", std::to_string(lab["id"].Number())}).Size(), 3u);
    EXPECT_EQ(Json({"systems", "--json", "--since", "2024-05-06 12:00"}).Size(), 2u);

    Outcome again = Upload({DemoFolder() + "/03-office-sensor-1230.xml"});
    EXPECT_EQ(SummaryValue(again.out, "detections written"), "2 (ZELKSP_UpdateDetectedSystems calls that succeeded)");
    EXPECT_EQ(SummaryValue(again.out, "rows added"),
              "0 sensors, 0 subnets, 0 sensor-subnet links, 0 detected systems, 0 interfaces, 1 plug-in event")
        << "the same machines and interfaces; plug-in blocks are always added";
}

TEST_F(UploadTest, StandardInputIsOneDocument) {
    std::string document = ReadFile(SamplePath("events/detections-every-device-type.xml"));
    Outcome outcome = Upload({"-"}, document);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(SummaryValue(outcome.out, "messages sent").rfind("1 as ", 0), 0u) << outcome.out;
    EXPECT_EQ(SummaryValue(outcome.out, "detections written"), "8 (ZELKSP_UpdateDetectedSystems calls that succeeded)");
    EXPECT_EQ(Json({"systems", "--json"}).Size(), 8u);

    Outcome twice = Upload({"-", "-"}, document);
    EXPECT_NE(twice.status, 0);
    EXPECT_TRUE(IsOneLineReason(twice.err)) << twice.err;
}

TEST_F(UploadTest, DocumentThatIsNotXmlIsCountedAndRecordsNothing) {
    std::string mixed = MakeFolder("mixed");
    WriteFile(mixed + "/01-office.xml", ReadFile(DemoFolder() + "/01-office-sensor-0800.xml"));
    WriteFile(mixed + "/02-not-xml.xml", "sensor log, 08:00: all quiet\n");
    Outcome outcome = Upload({mixed});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(SummaryValue(outcome.out, "messages sent").rfind("2 as ", 0), 0u) << outcome.out;
    EXPECT_NE(SummaryValue(outcome.out, "failures").find("from 1 message"), std::string::npos) << outcome.out;
    EXPECT_NE(outcome.out.find("\n  reported: " + mixed + "/02-not-xml.xml: "), std::string::npos) << outcome.out;

    // The good document alone gives exactly the same rows.
    std::string alone = folder_.path() + "/alone.db";
    Outcome reference = Upload({mixed + "/01-office.xml"}, "", alone);
    ASSERT_EQ(reference.status, 0) << reference.err;
    EXPECT_EQ(SummaryValue(outcome.out, "rows added"), SummaryValue(reference.out, "rows added"));
    EXPECT_EQ(SummaryValue(outcome.out, "detections written"), SummaryValue(reference.out, "detections written"));

    // Alone, it is handled as the plug-in handles an empty document: its
    // sensor part runs with empty values and nothing is detected.
    std::string notXml = folder_.path() + "/not-xml.db";
    Outcome bad = Upload({mixed + "/02-not-xml.xml"}, "", notXml);
    ASSERT_EQ(bad.status, 0) << bad.err;
    EXPECT_EQ(SummaryValue(bad.out, "detections written"), "0 (ZELKSP_UpdateDetectedSystems calls that succeeded)");
    EXPECT_EQ(Json({"systems", "--json"}, notXml).Size(), 0u);
    std::string empty = folder_.path() + "/empty.db";
    ASSERT_EQ(Upload({SamplePath("events/empty.xml")}, "", empty).status, 0);
    EXPECT_EQ(Json({"sensors", "--json"}, notXml).Size(), Json({"sensors", "--json"}, empty).Size());
}

TEST_F(UploadTest, NoOpMessagesTouchNothing) {
    std::string log = folder_.path() + "/statements.jsonl";
    for (const char* type : {"ZELKMETA_NoOp", "zelkmeta_noop"}) {
        Outcome outcome = Upload({"--type", type, "--sql-log=" + log, DemoFolder()});
        ASSERT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(SummaryValue(outcome.out, "messages sent").rfind(std::string("3 as ") + type, 0), 0u) << outcome.out;
        EXPECT_EQ(SummaryValue(outcome.out, "detections written"),
                  "0 (ZELKSP_UpdateDetectedSystems calls that succeeded)");
        EXPECT_EQ(SummaryValue(outcome.out, "rows added"), "none");
        EXPECT_EQ(SummaryValue(outcome.out, "failures"), "none reported in marlind's debugger output");
    }
    EXPECT_EQ(ReadFile(log), "") << "not one statement reached the database";
    EXPECT_EQ(Json({"sensors", "--json"}).Size(), 0u);
}

TEST_F(UploadTest, DebugOutputShowsTheReportsAsTheyHappen) {
    std::string bad = folder_.path() + "/bad.xml";
    WriteFile(bad, "<zelk:EventList xmlns:zelk=\"urn:zelk:event\"><zelk:CreateTime>");
    Outcome quiet = Upload({bad});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.err, "");
    Outcome shown = Upload({"--debug-output", bad});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.err.rfind("[" + bad + "] ", 0), 0u) << shown.err;
    for (const char* label : {"detections written", "rows added", "failures"})
        EXPECT_EQ(SummaryValue(shown.out, label), SummaryValue(quiet.out, label)) << label;
    EXPECT_NE(SummaryValue(quiet.out, "failures"), "none reported in marlind's debugger output");
}

TEST_F(UploadTest, EmptyFolderSendsNothing) {
    Outcome outcome = Upload({MakeFolder("nothing")});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(SummaryValue(outcome.out, "messages sent").rfind("0 as ", 0), 0u) << outcome.out;
}

TEST_F(UploadTest, ConcurrentJobsShareOnePluginAndStoreEveryDetection) {
    constexpr int kDocuments = 12, kDetections = 5;
    std::string many = MakeFolder("many");
    for (int i = 1; i <= kDocuments; ++i) {
        char name[32];
        snprintf(name, sizeof name, "/doc-%02d.xml", i);
        WriteFile(many + name, MakeDocument(i, kDetections));
    }
    std::string log = folder_.path() + "/statements.jsonl";
    Outcome outcome = Upload({"--jobs", "4", "--sql-log=" + log, many});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(SummaryValue(outcome.out, "messages sent").rfind("12 as ZELKMETA_SensorEvent (4 workers, ", 0), 0u)
        << outcome.out;
    EXPECT_EQ(SummaryValue(outcome.out, "detections written"),
              "60 (ZELKSP_UpdateDetectedSystems calls that succeeded)");
    EXPECT_EQ(SummaryValue(outcome.out, "rows added"),
              "12 sensors, 12 subnets, 12 sensor-subnet links, 60 detected systems, 120 interfaces, 0 plug-in events");
    EXPECT_EQ(SummaryValue(outcome.out, "failures"), "none reported in marlind's debugger output");

    JsonValue systems = Json({"systems", "--json"});
    ASSERT_EQ(systems.Size(), 60u);
    std::set<std::string> macs;
    for (const JsonValue& system : systems.items) {
        macs.insert(system["mac"].Text());
        EXPECT_EQ(system["interfaces"].Size(), 2u) << system["mac"].Text();
    }
    EXPECT_EQ(macs.size(), 60u);

    // The workers' statements reach the one log whole, one record a line.
    std::istringstream lines(ReadFile(log));
    std::string line;
    size_t procedureCalls = 0;
    while (std::getline(lines, line)) {
        JsonValue record = ParseJson(line);
        if (record["text"].Text() == "ZELKSP_UpdateDetectedSystems") ++procedureCalls;
    }
    EXPECT_EQ(procedureCalls, 60u);
}

// Without a registered plug-in, or with a path that is not there, nothing is sent.
class UploadRefusedTest : public ::testing::Test {
protected:
    TempFolder folder_;
};

TEST_F(UploadRefusedTest, UnregisteredPluginFailsWithAReason) {
    ASSERT_EQ(RunMorvhost({"init", "--db=" + folder_.path() + "/host.db"}).status, 0);
    Outcome outcome = RunMorvhost(
        {"upload", "--db=" + folder_.path() + "/host.db", "--registry=" + folder_.path() + "/registry", DemoFolder()});
    EXPECT_NE(outcome.status, 0);
    EXPECT_TRUE(IsOneLineReason(outcome.err)) << outcome.err;
    EXPECT_NE(outcome.err.find("morvhost register"), std::string::npos) << outcome.err;
    EXPECT_EQ(outcome.out, "");
}

TEST_F(UploadRefusedTest, MissingPathFailsBeforeAnythingIsSent) {
    Outcome outcome =
        RunMorvhost({"upload", "--db=" + folder_.path() + "/host.db", "--registry=" + folder_.path() + "/registry",
                     DemoFolder(), folder_.path() + "/no-such.xml"});
    EXPECT_NE(outcome.status, 0);
    EXPECT_TRUE(IsOneLineReason(outcome.err)) << outcome.err;
    EXPECT_NE(outcome.err.find("no-such.xml"), std::string::npos) << outcome.err;
}

}  // namespace
