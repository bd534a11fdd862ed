// The column tables of the record classes and their constructors from the event model; a subnet or
// a sensor-to-subnet link is inserted only when its row is missing.
#include "dao/Records.h"

#include "model/ValueConversions.h"

namespace ZELKDAO {

comsupport::Variant CurrentUtcDate() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    DOUBLE date = 0.0;
    if (!SystemTimeToVariantTime(&now, &date)) comsupport::ThrowComError(E_UNEXPECTED);
    return comsupport::Variant::FromDate(date);
}

// ---------------------------------------------------------------------------
// Column tables, in table order.

const char Subnet::TableName[] = "ZELKSubnetProperties";
const ColumnDef Subnet::ColumnTable[] = {
    {"SubnetID", adInteger, ColumnIdentity | ColumnReadOnly},
    {"SubnetName", adBSTR, 0},
    {"IPV4", adInteger, 0},
    {"IPV4Mask", adInteger, 0},
    {"IPV6", adBinary, ColumnKey},
    {"IPV6Mask", adBinary, ColumnKey},
    {"IPV6Start", adBinary, ColumnReadOnly},
    {"IPV6End", adBinary, ColumnReadOnly},
    {"Ignored", adBoolean, 0},
    {"PrevCoveredState", adBoolean, 0},
    {"BitBucket", adBoolean, 0},
    {nullptr, 0, 0},
};

const char Sensor::TableName[] = "ZELKSensorProperties";
const ColumnDef Sensor::ColumnTable[] = {
    {"SensorID", adInteger, ColumnIdentity | ColumnReadOnly},
    {"SensorName", adBSTR, 0},
    {"LastCommunicationTime", adDate, 0},
    {"AgentGUID", adGUID, ColumnKey},
    {"SensorType", adInteger, 0},
    {"ElectionType", adInteger, 0},
    {"DHCP", adBoolean, 0},
    {"SensorVersion", adBSTR, 0},
    {"Started", adBoolean, 0},
    {"Description", adBSTR, 0},
    {"Installed", adBoolean, 0},
    {"ComputerName", adBSTR, 0},
    {"FirstCommunicationTime", adDate, 0},
    {"FirstRecordedTime", adDate, 0},
    {"LastRecordedTime", adDate, 0},
    {"LastStartedTime", adDate, 0},
    {"LastStoppedTime", adDate, 0},
    {nullptr, 0, 0},
};

const char SensorToSubnet::TableName[] = "ZELKSensorToSubnet";
const ColumnDef SensorToSubnet::ColumnTable[] = {
    {"SensorID", adInteger, ColumnKey},
    {"SubnetID", adInteger, ColumnKey},
    {nullptr, 0, 0},
};

const char DetectedSystem::TableName[] = "ZELKDetectedSystemProperties";
const ColumnDef DetectedSystem::ColumnTable[] = {
    {"HostID", adInteger, ColumnIdentity | ColumnKey},
    {"DnsName", adBSTR, 0},
    {"OSPlatform", adBSTR, 0},
    {"OSFamily", adBSTR, 0},
    {"OSVersion", adBSTR, 0},
    {"Domain", adBSTR, 0},
    {"NetbiosName", adBSTR, 0},
    {"NetbiosComment", adBSTR, 0},
    {"Users", adBSTR, 0},
    {"AgentGUID", adGUID, 0},
    {"FriendlyName", adBSTR, 0},
    {"Ignored", adBoolean, 0},
    {"Comments", adBSTR, 0},
    {"IPV4", adInteger, 0},
    {"IPV6", adVarBinary, 0},
    {"MAC", adBSTR, 0},
    {"LastDetectedTime", adDate, 0},
    {"DetectedSourceType", adBSTR, 0},
    {"Exception", adBoolean, 0},
    {"RogueAction", adInteger, 0},
    {"RecordedTime", adDate, 0},
    {"NewDetection", adBoolean, 0},
    {"ExceptionCategoryID", adInteger, 0},
    {"DeviceType", adBSTR, 0},
    {"BulkInsertID", adGUID, 0},
    {nullptr, 0, 0},
};

const char OndrixEvent::TableName[] = "ZELKOndrixEvents";
const ColumnDef OndrixEvent::ColumnTable[] = {
    {"AutoID", adInteger, ColumnIdentity | ColumnKey},
    {"EventID", adBSTR, 0},
    {"DetectedSystemId", adInteger, 0},
    {"Data", adBinary, 0},
    {"EventAddedUtc", adDate, 0},
    {nullptr, 0, 0},
};

// ---------------------------------------------------------------------------

namespace {

// Makes sure the row exists: a row found is kept as read, a missing one is
// inserted and read back.
template <typename Record>
LONG LoadOrInsert(Record& record, _ADOConnection* connection) {
    if (record.Load(connection) == kDone) return kDone;
    return record.Insert(connection, true);
}

}  // namespace

Subnet::Subnet(const VARIANT& address, const VARIANT& mask) {
    SetValue("SubnetName", address, true);
    SetValue("IPV6", ZELKXML::AddressTextToBytes(address), true);
    SetValue("IPV6Mask", ZELKXML::AddressTextToBytes(mask), true);
}

LONG Subnet::Save(_ADOConnection* connection) { return LoadOrInsert(*this, connection); }

SensorToSubnet::SensorToSubnet(const Sensor& sensor, const Subnet& subnet) {
    SetValue("SensorID", sensor.GetValue("SensorID"));
    SetValue("SubnetID", subnet.GetValue("SubnetID"));
}

LONG SensorToSubnet::Save(_ADOConnection* connection) { return LoadOrInsert(*this, connection); }

Sensor::Sensor(const ZELKXML::ECEvent& document) : AnalyzerNode(document.Analyzer.Node) {
    const ZELKXML::Sensor& sensor = document.Analyzer.Sensor;
    SetValue("SensorID", comsupport::Variant::FromInt(sensor.SensorId), true);
    SetValue("AgentGUID", AnalyzerNode.AgentGUID.value, true);
    SetValue("SensorName", sensor.Name, true);
    SetValue("SensorType", comsupport::Variant::FromInt(sensor.IsDetectionSensor), true);
    SetValue("SensorVersion", sensor.ProductVersion, true);
    SetValue("LastCommunicationTime", document.CreateTime, true);
    SetValue("ComputerName", AnalyzerNode.Name);
    SetValue("ElectionType", comsupport::Variant::FromInt(sensor.ElectionRole));
    SetValue("DHCP", comsupport::Variant::FromInt(sensor.DhcpFlag), true);
}

OndrixEvent::OndrixEvent(INT hostId, const ZELKXML::Plugin& plugin) {
    SetValue("EventID", plugin.OndrixEventTypeId);
    SetValue("DetectedSystemId", comsupport::Variant::FromInt(hostId));
    SetValue("Data", plugin.PluginData);
    SetValue("EventAddedUtc", CurrentUtcDate());
}

}  // namespace ZELKDAO
