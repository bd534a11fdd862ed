// The record classes of the host's tables: the sensor, the subnets it covers
// and the links between them, each detected system and the plug-in events
// that came with it.
#pragma once
#include "dao/DBMapper.h"
#include "model/EventDocument.h"
#include "model/HostDescription.h"

namespace ZELKDAO {

// The classifications recorded as detections, and the source types they map to.
inline constexpr const OLECHAR* kSourceTypeBroadcast = OLESTR("zelk.broadcast");
inline constexpr const OLECHAR* kSourceTypeDhcp = OLESTR("zelk.dhcp");
inline constexpr const OLECHAR* kSourceTypeUnknown = OLESTR("zelk.unknown");
// The detection type the detected-system procedure receives for every detection.
inline constexpr const OLECHAR* kDetectionTypeDetectedSystem = OLESTR("detectedSystem");

// The current UTC time as an automation date.
comsupport::Variant CurrentUtcDate();

// A subnet, identified by its 16-byte address and mask.
class Subnet final : public DBMapper<Subnet> {
public:
    static const char TableName[];
    static const ColumnDef ColumnTable[];

    // Address and mask are texts (anything else passes through unconverted).
    Subnet(const VARIANT& address, const VARIANT& mask);
    // Makes sure the row exists and holds it, identity included.
    virtual LONG Save(_ADOConnection* connection);
};

// The reporting sensor, identified by the agent identity of its host.
class Sensor final : public DBMapper<Sensor> {
public:
    static const char TableName[];
    static const ColumnDef ColumnTable[];

    // The sensor's host, as the document describes it.
    ZELKXML::Node AnalyzerNode;

    explicit Sensor(const ZELKXML::ECEvent& document);
    // Upserts the sensor row, reads it back, and makes sure of a subnet row
    // and a link for each address and mask pair of its host. 0, 1 when the
    // sensor has no agent identity (nothing is written), or the HRESULT of
    // the first COM error.
    virtual LONG Save(_ADOConnection* connection);

private:
    LONG SaveRecord(_ADOConnection* connection);
    void SaveSubnet(_ADOConnection* connection, const VARIANT& address, const VARIANT& mask);
};

// A link between a sensor and a subnet it covers.
class SensorToSubnet final : public DBMapper<SensorToSubnet> {
public:
    static const char TableName[];
    static const ColumnDef ColumnTable[];

    SensorToSubnet(const Sensor& sensor, const Subnet& subnet);
    virtual LONG Save(_ADOConnection* connection);
};

// A machine a sensor detected. Its row is written by the host's stored
// procedure; the record reads it back.
class DetectedSystem final : public DBMapper<DetectedSystem> {
public:
    static const char TableName[];
    static const ColumnDef ColumnTable[];

    ZELKXML::Node SourceNode;
    ZELKXML::Node AnalyzerNode;
    ZELKXML::XMLMappableList<ZELKXML::Nic> DetectedInterfaces;
    ZELKXML::XMLMappableList<ZELKXML::Plugin> EventPlugins;
    comsupport::Variant EventKind;
    INT SourceSensorId = 0;

    DetectedSystem(const ZELKXML::Event& event, const ZELKXML::Node& analyzerNode, INT sensorId);
    // Records the detection, its plug-in events and its interfaces: 0 or the
    // HRESULT of the first COM error.
    virtual LONG Save(_ADOConnection* connection);

private:
    LONG SaveRecord(_ADOConnection* connection);
    INT RecordDetection(_ADOConnection* connection, comsupport::Variant& hostId);
    void InsertEvents(_ADOConnection* connection, INT hostId);
    void RecordInterfaces(_ADOConnection* connection, const VARIANT& hostId);
};

// A plug-in data block that came with a detection.
class OndrixEvent final : public DBMapper<OndrixEvent> {
public:
    static const char TableName[];
    static const ColumnDef ColumnTable[];

    OndrixEvent(INT hostId, const ZELKXML::Plugin& plugin);
};

}  // namespace ZELKDAO
