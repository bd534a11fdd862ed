// The recording steps shared by the message handler and the self-test, with a
// failure that no document can cause: an error while the record of one
// detection is built (the records raise only when memory runs out).
#include "DocumentRecorder.h"
#include "PluginTestSupport.h"

namespace marlind_test {
namespace {

using DocumentRecording = marlind_test::HostDatabaseTest;

ZELKXML::ECEvent FourDetections() {
    return marlind_test::LoadPayload(
        EventDocument(Detection(1, "host.detected.broadcast") + Detection(2, "host.os.changed") +
                      Detection(3, "host.detected.dhcp") + Detection(4, "host.detected.dhcp")));
}

TEST_F(DocumentRecording, AnErrorBuildingADetectionEndsTheRecordingAndKeepsWhatWasSaved) {
    const ZELKXML::ECEvent document = FourDetections();
    int built = 0;
    auto record = [&](const ZELKXML::Event& event, const ZELKXML::Node& analyzerNode, INT sensorId) {
        if (++built == 2) comsupport::ThrowComError(E_OUTOFMEMORY);
        ZELKDAO::DetectedSystem system(event, analyzerNode, sensorId);
        system.Save(Connection());
    };
    try {
        marlind::RecordDocumentWith(document, Connection(), record);
        ADD_FAILURE() << "the error did not come through";
    } catch (const comsupport::ComError& error) {
        EXPECT_EQ(E_OUTOFMEMORY, error.Code());
    }
    EXPECT_EQ(2, built) << "detections after the failing one are not processed";
    EXPECT_EQ(1u, Count("ZELKSensorProperties"));
    EXPECT_EQ((std::vector<Row>{{"host1.lab"}}), Rows("SELECT DnsName FROM ZELKDetectedSystemProperties"));
}

TEST_F(DocumentRecording, DetectionsGetTheSavedSensorsIdAndTheAnalyzersNode) {
    // Another sensor first, so that the stored id differs from the document's own ("7") and from 1.
    Exec(
        "INSERT INTO ZELKSensorProperties (SensorName, AgentGUID) VALUES ('older', "
        "'{00000000-0000-0000-0000-000000000001}')");
    const ZELKXML::ECEvent document = FourDetections();
    std::vector<INT> ids;
    std::vector<std::string> analyzers;
    marlind::RecordDocumentWith(document, Connection(),
                                [&](const ZELKXML::Event&, const ZELKXML::Node& analyzerNode, INT sensorId) {
                                    ids.push_back(sensorId);
                                    analyzers.push_back(marlind_test::Utf8(analyzerNode.Name));
                                });
    EXPECT_EQ((std::vector<INT>{2, 2, 2}), ids);
    EXPECT_EQ((std::vector<std::string>{"sensor01", "sensor01", "sensor01"}), analyzers);
}

TEST_F(DocumentRecording, OnlyBroadcastAndDhcpClassificationsAreRecorded) {
    using comsupport::Variant;
    EXPECT_TRUE(marlind::IsRecordedDetection(Variant::FromText(u"host.detected.broadcast").Get()));
    EXPECT_TRUE(marlind::IsRecordedDetection(Variant::FromText(u"Host.Detected.DHCP").Get()));
    EXPECT_FALSE(marlind::IsRecordedDetection(Variant::FromText(u"host.detected").Get()));
    EXPECT_FALSE(marlind::IsRecordedDetection(Variant::FromText(u"host.detected.dhcp.lease").Get()));
    EXPECT_FALSE(marlind::IsRecordedDetection(Variant::FromText(u"").Get()));
    EXPECT_FALSE(marlind::IsRecordedDetection(Variant::FromBstr(comsupport::Bstr()).Get())) << "a null string";
    EXPECT_FALSE(marlind::IsRecordedDetection(Variant::Null().Get()));
    EXPECT_FALSE(marlind::IsRecordedDetection(Variant().Get()));
    EXPECT_FALSE(marlind::IsRecordedDetection(Variant::FromInt(1).Get()));
}

}  // namespace
}  // namespace marlind_test
