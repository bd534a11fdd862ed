// `morvhost sensors`, `systems` and `system`: the sensor, subnet, detected-system, interface and
// plug-in event rows read through ADO and shown as text tables or JSON.
#include "Inventory.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <ostream>

#include "ComApartment.h"
#include "Formatting.h"
#include "HostDatabase.h"
#include "HostError.h"

namespace morvhost {
namespace {

using comsupport::Variant;
using Row = HostDatabase::Row;
using Text = std::optional<std::string>;
using Number = std::optional<long long>;

// Values as ADO types them from the schema's declared types: int as VT_I4,
// bit as VT_BOOL, binary as a byte array; times are selected as their stored
// text, so they show exactly as stored (UTC, milliseconds included).
Text TextOf(const Variant& value) {
    if (value.IsNull() || value.IsEmpty()) return std::nullopt;
    Variant text = value.Type() == VT_BSTR ? value : value.ConvertedTo(VT_BSTR);
    BSTR bstr = text.Get().bstrVal;
    return comsupport::Utf8FromOle(bstr, SysStringLen(bstr));
}

Number NumberOf(const Variant& value) {
    if (value.IsNull() || value.IsEmpty()) return std::nullopt;
    if (value.Type() == VT_I4) return value.Get().lVal;
    if (value.Type() == VT_I8) return value.Get().llVal;
    return value.ConvertedTo(VT_I4).Get().lVal;
}

std::optional<bool> BoolOf(const Variant& value) {
    if (value.IsNull() || value.IsEmpty()) return std::nullopt;
    if (value.Type() == VT_BOOL) return value.Get().boolVal != VARIANT_FALSE;
    return NumberOf(value).value_or(0) != 0;
}

std::optional<Bytes> BytesOf(const Variant& value) {
    if (value.IsNull() || value.IsEmpty()) return std::nullopt;
    if (value.Type() == VT_BSTR) {
        std::string text = *TextOf(value);
        return Bytes(text.begin(), text.end());
    }
    if (value.Type() != (VT_ARRAY | VT_UI1) || !value.Get().parray) return std::nullopt;
    SAFEARRAY* array = value.Get().parray;
    LONG lower = 0, upper = -1;
    comsupport::Check(SafeArrayGetLBound(array, 1, &lower));
    comsupport::Check(SafeArrayGetUBound(array, 1, &upper));
    Bytes bytes(static_cast<size_t>(upper - lower + 1));
    if (bytes.empty()) return bytes;
    void* data = nullptr;
    comsupport::Check(SafeArrayAccessData(array, &data));
    std::copy_n(static_cast<const uint8_t*>(data), bytes.size(), bytes.begin());
    SafeArrayUnaccessData(array);
    return bytes;
}

std::string Shown(const Text& text) { return text.value_or(""); }
std::string Shown(const Number& number) { return number ? std::to_string(*number) : ""; }
std::string ShownAddress(const std::optional<Bytes>& address) { return address ? AddressText(*address) : ""; }

Json JsonText(const Text& text) { return text ? Json::Text(*text) : Json(); }
Json JsonNumber(const Number& number) { return number ? Json::Number(*number) : Json(); }
Json JsonBool(const std::optional<bool>& flag) { return flag ? Json::Bool(*flag) : Json(); }
Json JsonAddress(const std::optional<Bytes>& address) { return address ? Json::Text(AddressText(*address)) : Json(); }

// Parses a whole non-negative decimal number; anything else is nullopt.
std::optional<long> WholeNumber(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

// ---- sensors ----

struct SubnetRecord {
    Number id;
    Text name;
    std::optional<Bytes> address, mask;
};

struct SensorRecord {
    Number id, type, election;
    Text name, description, agentGuid, computer, version, lastCommunication, firstRecorded, lastRecorded;
    std::optional<bool> dhcp;
    std::vector<SubnetRecord> subnets;
};

std::vector<SensorRecord> ReadSensors(HostDatabase& database) {
    std::vector<SensorRecord> sensors;
    std::map<long long, size_t> byId;
    for (const Row& row : database.Query(
             "SELECT SensorID, SensorName, Description, AgentGUID, ComputerName, SensorType, ElectionType, DHCP, "
             "SensorVersion, CAST(LastCommunicationTime AS TEXT), CAST(FirstRecordedTime AS TEXT), "
             "CAST(LastRecordedTime AS TEXT) FROM ZELKSensorProperties ORDER BY SensorID",
             {})) {
        SensorRecord sensor;
        sensor.id = NumberOf(row[0]);
        sensor.name = TextOf(row[1]);
        sensor.description = TextOf(row[2]);
        sensor.agentGuid = TextOf(row[3]);
        sensor.computer = TextOf(row[4]);
        sensor.type = NumberOf(row[5]);
        sensor.election = NumberOf(row[6]);
        sensor.dhcp = BoolOf(row[7]);
        sensor.version = TextOf(row[8]);
        sensor.lastCommunication = TextOf(row[9]);
        sensor.firstRecorded = TextOf(row[10]);
        sensor.lastRecorded = TextOf(row[11]);
        byId[sensor.id.value_or(-1)] = sensors.size();
        sensors.push_back(std::move(sensor));
    }
    for (const Row& row :
         database.Query("SELECT l.SensorID, s.SubnetID, s.SubnetName, s.IPV6, s.IPV6Mask FROM ZELKSensorToSubnet l "
                        "JOIN ZELKSubnetProperties s ON s.SubnetID = l.SubnetID ORDER BY l.SensorID, s.SubnetID",
                        {})) {
        auto owner = byId.find(NumberOf(row[0]).value_or(-1));
        if (owner == byId.end()) continue;
        sensors[owner->second].subnets.push_back({NumberOf(row[1]), TextOf(row[2]), BytesOf(row[3]), BytesOf(row[4])});
    }
    return sensors;
}

Text SensorTypeName(const Number& type) {
    if (!type) return std::nullopt;
    if (*type == 1) return std::string("detection");
    if (*type == 0) return std::string("passive");
    return std::to_string(*type);
}

Text ElectionName(const Number& election) {
    if (!election) return std::nullopt;
    switch (*election) {
        case 0: return std::string("none");
        case 1: return std::string("server");
        case 2: return std::string("voting");
        default: return std::to_string(*election);
    }
}

std::string SubnetShown(const SubnetRecord& subnet) {
    if (subnet.address && subnet.mask) return SubnetText(*subnet.address, *subnet.mask);
    return ShownAddress(subnet.address);
}

Json SensorJson(const SensorRecord& sensor) {
    Json subnets = Json::Array();
    for (const SubnetRecord& subnet : sensor.subnets) {
        std::optional<int> prefix = subnet.mask ? PrefixLength(*subnet.mask) : std::nullopt;
        subnets.Add(Json::Object()
                        .Set("id", JsonNumber(subnet.id))
                        .Set("name", JsonText(subnet.name))
                        .Set("address", JsonAddress(subnet.address))
                        .Set("mask", JsonAddress(subnet.mask))
                        .Set("prefixLength", prefix ? Json::Number(*prefix) : Json()));
    }
    return Json::Object()
        .Set("id", JsonNumber(sensor.id))
        .Set("name", JsonText(sensor.name))
        .Set("description", JsonText(sensor.description))
        .Set("agentGuid", JsonText(sensor.agentGuid))
        .Set("computerName", JsonText(sensor.computer))
        .Set("type", JsonText(SensorTypeName(sensor.type)))
        .Set("election", JsonText(ElectionName(sensor.election)))
        .Set("dhcp", JsonBool(sensor.dhcp))
        .Set("version", JsonText(sensor.version))
        .Set("lastCommunicationTime", JsonText(sensor.lastCommunication))
        .Set("firstRecordedTime", JsonText(sensor.firstRecorded))
        .Set("lastRecordedTime", JsonText(sensor.lastRecorded))
        .Set("subnets", std::move(subnets));
}

// ---- detected systems ----

struct InterfaceRecord {
    Number id, sourceSensor;
    Text mac, firstDetected, lastDetected, sourceType;
    std::optional<Bytes> address, mask, subnet;
};

struct EventRecord {
    Number id;
    Text eventId, added;
    std::optional<Bytes> data;
};

struct SystemRecord {
    Number hostId, sourceSensor;
    Text mac, dnsName, netbiosName, domain, netbiosComment, platform, family, version, deviceType, users, agentGuid,
        friendlyName, sourceType, lastDetected, recorded, detectionType;
    std::optional<Bytes> address;
    std::optional<bool> exception, newDetection, ignored;
    std::vector<InterfaceRecord> interfaces;
    std::vector<EventRecord> events;
};

const char kSystemColumns[] =
    "SELECT HostID, MAC, IPV6, DnsName, NetbiosName, Domain, NetbiosComment, OSPlatform, OSFamily, OSVersion, "
    "DeviceType, Users, AgentGUID, FriendlyName, DetectedSourceType, SourceSensorID, "
    "CAST(LastDetectedTime AS TEXT), CAST(RecordedTime AS TEXT), [Exception], NewDetection, Ignored, DetectionType "
    "FROM ZELKDetectedSystemProperties";

SystemRecord SystemFrom(const Row& row) {
    SystemRecord system;
    system.hostId = NumberOf(row[0]);
    system.mac = TextOf(row[1]);
    system.address = BytesOf(row[2]);
    system.dnsName = TextOf(row[3]);
    system.netbiosName = TextOf(row[4]);
    system.domain = TextOf(row[5]);
    system.netbiosComment = TextOf(row[6]);
    system.platform = TextOf(row[7]);
    system.family = TextOf(row[8]);
    system.version = TextOf(row[9]);
    system.deviceType = TextOf(row[10]);
    system.users = TextOf(row[11]);
    system.agentGuid = TextOf(row[12]);
    system.friendlyName = TextOf(row[13]);
    system.sourceType = TextOf(row[14]);
    system.sourceSensor = NumberOf(row[15]);
    system.lastDetected = TextOf(row[16]);
    system.recorded = TextOf(row[17]);
    system.exception = BoolOf(row[18]);
    system.newDetection = BoolOf(row[19]);
    system.ignored = BoolOf(row[20]);
    system.detectionType = TextOf(row[21]);
    return system;
}

// Fills in the interfaces and plug-in events of `systems` (all of them when
// `hostId` is empty, else of that one system).
void ReadDetails(HostDatabase& database, std::vector<SystemRecord>& systems, const std::string& hostId) {
    std::map<long long, size_t> byHost;
    for (size_t i = 0; i < systems.size(); ++i) byHost[systems[i].hostId.value_or(-1)] = i;
    std::vector<std::string> parameters;
    if (!hostId.empty()) parameters.push_back(hostId);

    std::string interfaces =
        "SELECT HostID, InterfaceID, MAC, IPV6, IPV6Mask, IPV6Subnet, CAST(FirstDetectedTime AS TEXT), "
        "CAST(LastDetectedTime AS TEXT), SourceSensorID, SourceType FROM ZELKDetectedInterfaces";
    if (!hostId.empty()) interfaces += " WHERE HostID = ?";
    interfaces += " ORDER BY HostID, InterfaceID";
    for (const Row& row : database.Query(interfaces.c_str(), parameters)) {
        auto owner = byHost.find(NumberOf(row[0]).value_or(-1));
        if (owner == byHost.end()) continue;
        InterfaceRecord nic;
        nic.id = NumberOf(row[1]);
        nic.mac = TextOf(row[2]);
        nic.address = BytesOf(row[3]);
        nic.mask = BytesOf(row[4]);
        nic.subnet = BytesOf(row[5]);
        nic.firstDetected = TextOf(row[6]);
        nic.lastDetected = TextOf(row[7]);
        nic.sourceSensor = NumberOf(row[8]);
        nic.sourceType = TextOf(row[9]);
        systems[owner->second].interfaces.push_back(std::move(nic));
    }

    std::string events =
        "SELECT DetectedSystemId, AutoID, EventID, Data, CAST(EventAddedUtc AS TEXT) FROM ZELKOndrixEvents";
    if (!hostId.empty()) events += " WHERE DetectedSystemId = ?";
    events += " ORDER BY DetectedSystemId, AutoID";
    for (const Row& row : database.Query(events.c_str(), parameters)) {
        auto owner = byHost.find(NumberOf(row[0]).value_or(-1));
        if (owner == byHost.end()) continue;
        systems[owner->second].events.push_back({NumberOf(row[1]), TextOf(row[2]), TextOf(row[4]), BytesOf(row[3])});
    }
}

std::string OperatingSystem(const SystemRecord& system) {
    std::string text;
    for (const Text* part : {&system.platform, &system.family, &system.version}) {
        if (!*part || (*part)->empty()) continue;
        if (!text.empty()) text += ' ';
        text += **part;
    }
    return text;
}

std::string InterfaceSubnet(const InterfaceRecord& nic) {
    if (nic.subnet && nic.mask) return SubnetText(*nic.subnet, *nic.mask);
    return ShownAddress(nic.subnet);
}

Json SystemJson(const SystemRecord& system) {
    Json interfaces = Json::Array();
    for (const InterfaceRecord& nic : system.interfaces)
        interfaces.Add(Json::Object()
                           .Set("id", JsonNumber(nic.id))
                           .Set("mac", JsonText(nic.mac))
                           .Set("address", JsonAddress(nic.address))
                           .Set("mask", JsonAddress(nic.mask))
                           .Set("subnet", JsonAddress(nic.subnet))
                           .Set("firstDetectedTime", JsonText(nic.firstDetected))
                           .Set("lastDetectedTime", JsonText(nic.lastDetected))
                           .Set("sourceSensorId", JsonNumber(nic.sourceSensor))
                           .Set("sourceType", JsonText(nic.sourceType)));
    Json events = Json::Array();
    for (const EventRecord& event : system.events)
        events.Add(Json::Object()
                       .Set("id", JsonNumber(event.id))
                       .Set("eventId", JsonText(event.eventId))
                       .Set("size", event.data ? Json::Number(static_cast<long long>(event.data->size())) : Json())
                       .Set("data", event.data ? Json::Text(Base64Text(*event.data)) : Json())
                       .Set("addedTime", JsonText(event.added)));
    return Json::Object()
        .Set("hostId", JsonNumber(system.hostId))
        .Set("mac", JsonText(system.mac))
        .Set("address", JsonAddress(system.address))
        .Set("dnsName", JsonText(system.dnsName))
        .Set("netbiosName", JsonText(system.netbiosName))
        .Set("domain", JsonText(system.domain))
        .Set("netbiosComment", JsonText(system.netbiosComment))
        .Set("osPlatform", JsonText(system.platform))
        .Set("osFamily", JsonText(system.family))
        .Set("osVersion", JsonText(system.version))
        .Set("deviceType", JsonText(system.deviceType))
        .Set("users", JsonText(system.users))
        .Set("agentGuid", JsonText(system.agentGuid))
        .Set("friendlyName", JsonText(system.friendlyName))
        .Set("sourceType", JsonText(system.sourceType))
        .Set("sourceSensorId", JsonNumber(system.sourceSensor))
        .Set("lastDetectedTime", JsonText(system.lastDetected))
        .Set("recordedTime", JsonText(system.recorded))
        .Set("exception", JsonBool(system.exception))
        .Set("newDetection", JsonBool(system.newDetection))
        .Set("ignored", JsonBool(system.ignored))
        .Set("detectionType", JsonText(system.detectionType))
        .Set("interfaces", std::move(interfaces))
        .Set("events", std::move(events));
}

std::string YesOrEmpty(const std::optional<bool>& flag) { return flag.value_or(false) ? "yes" : ""; }
std::string YesNo(const std::optional<bool>& flag) {
    if (!flag) return "";
    return *flag ? "yes" : "no";
}

void WriteInterfaces(std::ostream& out, const std::vector<InterfaceRecord>& interfaces) {
    Table table({"ID", "MAC", "ADDRESS", "SUBNET", "FIRST DETECTED", "LAST DETECTED", "SENSOR", "SOURCE"});
    for (const InterfaceRecord& nic : interfaces)
        table.AddRow({Shown(nic.id), Shown(nic.mac), ShownAddress(nic.address), InterfaceSubnet(nic),
                      Shown(nic.firstDetected), Shown(nic.lastDetected), Shown(nic.sourceSensor),
                      Shown(nic.sourceType)});
    table.Write(out);
}

// A plug-in block is shown by its first bytes; the JSON form has them all.
constexpr size_t kShownDataBytes = 24;

void WriteEvents(std::ostream& out, const std::vector<EventRecord>& events) {
    Table table({"ID", "EVENT ID", "ADDED", "SIZE", "DATA"});
    for (const EventRecord& event : events) {
        std::string data, size;
        if (event.data) {
            size = std::to_string(event.data->size());
            Bytes shown(event.data->begin(),
                        event.data->begin() + static_cast<long>(std::min(event.data->size(), kShownDataBytes)));
            data = HexText(shown) + (event.data->size() > kShownDataBytes ? "..." : "");
        }
        table.AddRow({Shown(event.id), Shown(event.eventId), Shown(event.added), size, data});
    }
    table.Write(out);
}

}  // namespace

void SensorsCommand(const CommonOptions& options, OutputFormat format, std::ostream& out) {
    ComApartment apartment;
    HostDatabase database = OpenDatabase(options);
    std::vector<SensorRecord> sensors = ReadSensors(database);
    if (format == OutputFormat::Json) {
        Json list = Json::Array();
        for (const SensorRecord& sensor : sensors) list.Add(SensorJson(sensor));
        list.Write(out);
        out << "\n";
        return;
    }
    if (sensors.empty()) {
        out << "no sensors recorded\n";
        return;
    }
    Table table({"ID", "NAME", "AGENT GUID", "COMPUTER", "TYPE", "DHCP", "VERSION", "LAST COMMUNICATION", "SUBNETS"});
    for (const SensorRecord& sensor : sensors) {
        std::string subnets;
        for (const SubnetRecord& subnet : sensor.subnets)
            subnets += (subnets.empty() ? "" : ", ") + SubnetShown(subnet);
        table.AddRow({Shown(sensor.id), Shown(sensor.name), Shown(sensor.agentGuid), Shown(sensor.computer),
                      Shown(SensorTypeName(sensor.type)), YesNo(sensor.dhcp), Shown(sensor.version),
                      Shown(sensor.lastCommunication), subnets});
    }
    table.Write(out);
}

void SystemsCommand(const CommonOptions& options, const SystemFilter& filter, OutputFormat format, std::ostream& out) {
    std::string sql = std::string(kSystemColumns) + " WHERE 1 = 1";
    std::vector<std::string> parameters;
    if (!filter.since.empty()) {
        sql += " AND LastDetectedTime >= ?";
        parameters.push_back(StoredTimeText(filter.since));
    }
    ComApartment apartment;
    HostDatabase database = OpenDatabase(options);
    if (filter.sensorId) {
        std::string id = std::to_string(*filter.sensorId);
        if (database.QueryColumn("SELECT SensorID FROM ZELKSensorProperties WHERE SensorID = ?", {id}).empty())
            throw HostError("no sensor has the id " + id + " (see 'morvhost sensors')");
        sql += " AND SourceSensorID = ?";
        parameters.push_back(id);
    }
    sql += " ORDER BY HostID";
    std::vector<SystemRecord> systems;
    for (const Row& row : database.Query(sql.c_str(), parameters)) systems.push_back(SystemFrom(row));
    ReadDetails(database, systems, "");

    if (format == OutputFormat::Json) {
        Json list = Json::Array();
        for (const SystemRecord& system : systems) list.Add(SystemJson(system));
        list.Write(out);
        out << "\n";
        return;
    }
    if (systems.empty()) {
        out << (filter.sensorId || !filter.since.empty() ? "no detected system matches\n"
                                                         : "no detected systems recorded\n");
        return;
    }
    Table table({"HOSTID", "MAC", "ADDRESS", "DNS NAME", "OS", "DEVICE", "SOURCE", "SENSOR", "LAST DETECTED",
                 "INTERFACES", "EVENTS", "EXCEPTION"});
    for (const SystemRecord& system : systems)
        table.AddRow({Shown(system.hostId), Shown(system.mac), ShownAddress(system.address), Shown(system.dnsName),
                      OperatingSystem(system), Shown(system.deviceType), Shown(system.sourceType),
                      Shown(system.sourceSensor), Shown(system.lastDetected), std::to_string(system.interfaces.size()),
                      std::to_string(system.events.size()), YesOrEmpty(system.exception)});
    table.Write(out);
}

void SystemCommand(const CommonOptions& options, const std::string& hostId, OutputFormat format, std::ostream& out) {
    std::optional<long> id = WholeNumber(hostId);
    if (!id) throw HostError("not a host id: '" + hostId + "' (host ids are whole numbers; see 'morvhost systems')");
    std::string idText = std::to_string(*id);
    ComApartment apartment;
    HostDatabase database = OpenDatabase(options);
    std::vector<SystemRecord> systems;
    for (const Row& row : database.Query((std::string(kSystemColumns) + " WHERE HostID = ?").c_str(), {idText}))
        systems.push_back(SystemFrom(row));
    if (systems.empty()) throw HostError("no detected system has the host id " + idText + " (see 'morvhost systems')");
    ReadDetails(database, systems, idText);
    const SystemRecord& system = systems.front();

    if (format == OutputFormat::Json) {
        SystemJson(system).Write(out);
        out << "\n";
        return;
    }
    WriteFields(out, {{"Host ID", Shown(system.hostId)},
                      {"MAC", Shown(system.mac)},
                      {"Address", ShownAddress(system.address)},
                      {"DNS name", Shown(system.dnsName)},
                      {"NetBIOS name", Shown(system.netbiosName)},
                      {"NetBIOS comment", Shown(system.netbiosComment)},
                      {"Domain", Shown(system.domain)},
                      {"Operating system", OperatingSystem(system)},
                      {"Device type", Shown(system.deviceType)},
                      {"Users", Shown(system.users)},
                      {"Agent GUID", Shown(system.agentGuid)},
                      {"Friendly name", Shown(system.friendlyName)},
                      {"Source", Shown(system.sourceType)},
                      {"Source sensor", Shown(system.sourceSensor)},
                      {"Last detected", Shown(system.lastDetected)},
                      {"Recorded", Shown(system.recorded)},
                      {"Exception", YesNo(system.exception)},
                      {"New detection", YesNo(system.newDetection)},
                      {"Detection type", Shown(system.detectionType)}});
    out << "\nInterfaces (" << system.interfaces.size() << ")\n";
    if (!system.interfaces.empty()) WriteInterfaces(out, system.interfaces);
    out << "\nPlug-in events (" << system.events.size() << ")\n";
    if (!system.events.empty()) WriteEvents(out, system.events);
}

}  // namespace morvhost
