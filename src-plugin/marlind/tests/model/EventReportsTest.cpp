// What the event model reports to the debugger output when it absorbs a
// failure: one line per failed load, naming the cause, and nothing when there
// was nothing to load. Linux only: there the output can be captured.
#include "DebugOutputCapture.h"
#include "EventDocuments.h"

namespace {
using namespace marlind_test;
using ZELKXML::ECEvent;

// The lines `load` wrote to the debugger output.
template <class Load>
std::vector<std::string> ReportsOf(Load&& load) {
    DebugOutputCapture output;
    load();
    return output.Lines();
}

TEST(EventReports, MissingDhcpNamesTheTypeMismatch) {
    auto lines = ReportsOf([] { ExpectStoppedAtDhcp(LoadPayload(SensorWithDhcp(""))); });
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("0x80020005")) << lines[0];
}

TEST(EventReports, NonNumericDhcpIsReportedOncePerLoad) {
    auto lines = ReportsOf([] {
        LoadPayload(SensorWithDhcp("<zelk:Dhcp>yes</zelk:Dhcp>"));
        LoadPayload(SensorWithDhcp("<zelk:Dhcp/>"));
    });
    EXPECT_EQ(2u, lines.size());
}

TEST(EventReports, NoPayloadOrNoDataReportsNothing) {
    auto lines = ReportsOf([] {
        ECEvent document;
        document.LoadFromPayload(nullptr);
        SAFEARRAY descriptor{};
        descriptor.cDims = 1;
        descriptor.cbElements = 1;
        descriptor.rgsabound[0].cElements = 10;
        document.LoadFromPayload(&descriptor);  // pvData is null
    });
    EXPECT_TRUE(lines.empty());
}

TEST(EventReports, EmptyPayloadNamesThePlugin) {
    auto lines = ReportsOf([] {
        SafeArrayPtr payload = MakePayload("");
        ECEvent document;
        document.LoadFromPayload(payload.get());
    });
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("marlind")) << lines[0];
}

TEST(EventReports, MalformedXmlGivesTheParsersReasonAndLine) {
    auto lines = ReportsOf([] { LoadPayload(EventXml(std::string(kSensor) + "<zelk:Event>")); });
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("0x80070057")) << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find("line 1")) << lines[0];
}

TEST(EventReports, EachRefusedPayloadIsReportedOnce) {
    EXPECT_EQ(NotXmlTexts().size(), ReportsOf([] {
                                        for (const std::string& text : NotXmlTexts()) LoadPayload(text);
                                    }).size());
    EXPECT_EQ(1u, ReportsOf([] {
                      SafeArrayPtr payload = MakeTwoDimensionalPayload();
                      ECEvent document;
                      document.LoadFromPayload(payload.get());
                  }).size());
    EXPECT_EQ(1u, ReportsOf([] { LoadPayload(TruncatedUtf8Payload()); }).size());
    EXPECT_EQ(1u, ReportsOf([] { LoadPayload(Utf16PayloadWithByteOrderMark()); }).size());
    EXPECT_EQ(1u, ReportsOf([] { LoadPayload(PayloadWithEmbeddedNul()); }).size());
    EXPECT_EQ(1u, ReportsOf([] { LoadPayload(PayloadViolatingItsOwnDtd()); }).size());
}

TEST(EventReports, ADeepDocumentIsReportedExactlyWhenItIsRefused) {
    ECEvent document;
    auto lines = ReportsOf([&] { document = LoadPayload(DeeplyNestedPayload()); });
    if (lines.empty()) {
        EXPECT_EQ(1u, document.Events.size());
    } else {
        EXPECT_EQ(1u, lines.size());
        ExpectEmptyDocument(document);
    }
}

TEST(EventReports, MissingFileAndNoPathAreReported) {
    auto lines = ReportsOf([] {
        ECEvent document;
        document.LoadFromFile(Ole(SamplePath("no-such-file.xml")).c_str());
        document.LoadFromFile(nullptr);
    });
    ASSERT_EQ(2u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("0x80070057")) << lines[0];
}

// Each sample is loaded twice, from its bytes and from its file.
std::vector<std::string> ReportsOfSample(const std::string& name) {
    return ReportsOf([&] {
        LoadPayload(ReadFileBytes(SamplePath(name)));
        ECEvent document;
        document.LoadFromFile(Ole(SamplePath(name)).c_str());
    });
}

TEST(EventReports, SamplesThatDoNotLoadWholeAreReportedOncePerLoad) {
    for (const char* name :
         {"sensor-without-dhcp.xml", "empty.xml", "truncated.xml", "mismatched-tags.xml", "violates-own-dtd.xml"})
        EXPECT_EQ(2u, ReportsOfSample(name).size()) << name;
    EXPECT_TRUE(ReportsOfSample("ten-detections.xml").empty());
}

}  // namespace
