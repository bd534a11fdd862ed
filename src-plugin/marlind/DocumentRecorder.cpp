// Records one loaded event document: the sensor first, then each detection classified as broadcast
// or DHCP, under the sensor id that the sensor's save left.
#include "DocumentRecorder.h"

#include "model/VariantValues.h"

namespace marlind {

bool IsRecordedDetection(const VARIANT& classification) noexcept {
    return ZELKXML::IsTextIgnoringCase(classification, ZELKXML::kClassificationBroadcast) ||
           ZELKXML::IsTextIgnoringCase(classification, ZELKXML::kClassificationDhcp);
}

void RecordDocument(const ZELKXML::ECEvent& document, _ADOConnection* connection) {
    RecordDocumentWith(document, connection,
                       [connection](const ZELKXML::Event& event, const ZELKXML::Node& analyzerNode, INT sensorId) {
                           ZELKDAO::DetectedSystem system(event, analyzerNode, sensorId);
                           system.Save(connection);
                       });
}

void RecordDocumentWith(const ZELKXML::ECEvent& document, _ADOConnection* connection,
                        const DetectionRecorder& recordDetection) {
    ZELKDAO::Sensor sensor(document);
    sensor.Save(connection);
    for (const ZELKXML::Event& event : document.Events) {
        if (!IsRecordedDetection(event.Classification.EventClassification.Get())) continue;
        // Read for each detection: the id is whatever the sensor's save left.
        const INT sensorId = ZELKXML::IntegerView(sensor.GetValue("SensorID"));
        recordDetection(event, document.Analyzer.Node, sensorId);
    }
}

}  // namespace marlind
