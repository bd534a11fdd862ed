// What one event document puts into the database: its sensor, then every
// detection that it reports by broadcast or DHCP. The message handler and the
// developer self-test both record through here.
#pragma once
#include <windows.h>

#include <functional>

#include "dao/Records.h"
#include "model/EventDocument.h"

namespace marlind {

// True for a classification recorded as a detected system: a string equal to
// "host.detected.broadcast" or "host.detected.dhcp", ignoring case.
bool IsRecordedDetection(const VARIANT& classification) noexcept;

// Saves the document's sensor once (also for an empty document), then builds
// and saves a DetectedSystem for each recorded detection, in document order,
// with the sensor's id as it stands after its save. The saves report their
// own failures; any other COM error ends the recording where it arose (what
// was saved stays saved) and propagates as comsupport::ComError.
void RecordDocument(const ZELKXML::ECEvent& document, _ADOConnection* connection);

// Records one detection: the analyzer's node and the sensor's id come with it.
using DetectionRecorder =
    std::function<void(const ZELKXML::Event& event, const ZELKXML::Node& analyzerNode, INT sensorId)>;

// RecordDocument with another step for each detection, so that tests can make
// one of them fail; RecordDocument's own step builds the record and saves it.
void RecordDocumentWith(const ZELKXML::ECEvent& document, _ADOConnection* connection,
                        const DetectionRecorder& recordDetection);

}  // namespace marlind
