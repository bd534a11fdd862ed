// Recording a sensor and each machine it detected.
#include "comsupport/Bstr.h"
#include "dao/Records.h"
#include "model/HostValues.h"
#include "model/ValueConversions.h"
#include "model/VariantValues.h"

namespace ZELKDAO {
namespace {

// Raised inside a save when a nested operation failed and has already
// written its own description: the save ends without reporting it twice.
struct ReportedFailure {
    LONG result;
};

void EndIfFailed(LONG result) {
    if (result < 0) throw ReportedFailure{result};
}

// Runs a whole save: an escaping COM error is written to the debugger output
// and returned as its HRESULT.
template <typename Steps>
LONG SaveGuarded(Steps&& steps) noexcept {
    return mapper::Guarded(true, [&]() -> LONG {
        try {
            return steps();
        } catch (const ReportedFailure& failure) {
            return failure.result;
        }
    });
}

// Neither NULL (absent) nor EMPTY (never read).
bool HasValue(const VARIANT& value) noexcept { return value.vt != VT_NULL && value.vt != VT_EMPTY; }

// A value that binds to a date column as a real date: a date, or a time text
// that holds a whole date and time of day the calendar accepts (a rejected
// text converts to the date 0.0).
bool IsUsableTime(const VARIANT& value) {
    if (value.vt == VT_DATE) return value.date != 0.0;
    if (value.vt != VT_BSTR) return false;
    const comsupport::Variant date = ZELKXML::TimeTextToDate(value.bstrVal);
    return date.Type() == VT_DATE && date.Get().date != 0.0;
}

// The first of `candidates` that holds a value, as its 16-byte form; EMPTY when none does.
comsupport::Variant FirstAddressBytes(std::initializer_list<const comsupport::Variant*> candidates) {
    for (const comsupport::Variant* candidate : candidates)
        if (HasValue(candidate->Get())) return ZELKXML::AddressTextToBytes(candidate->Get());
    return comsupport::Variant();
}

comsupport::Variant Text(const OLECHAR* text) { return comsupport::Variant::FromText(text); }

const comsupport::Variant& NullValue() {
    static const comsupport::Variant kNull = comsupport::Variant::Null();
    return kNull;
}

}  // namespace

// ---------------------------------------------------------------------------
// Sensor

LONG Sensor::Save(_ADOConnection* connection) {
    // Without an agent identity the row could never be found again: every
    // message would add another sensor and another set of links.
    const VARIANT& agent = GetValue("AgentGUID");
    if (!HasValue(agent) || (agent.vt == VT_BSTR && ZELKXML::TextUpToNul(agent.bstrVal).length == 0)) {
        OutputDebugStringW(OLESTR("marlind: sensor not recorded: its host has no agent identity (zelk:AgentGUID)"));
        return kNothingDone;
    }
    return SaveGuarded([&] { return SaveRecord(connection); });
}

LONG Sensor::SaveRecord(_ADOConnection* connection) {
    const comsupport::Variant now = CurrentUtcDate();
    SetValue("LastRecordedTime", now);
    if (Load(connection) != kDone) {
        SetValue("Description", GetValue("SensorName"));
        SetValue("LastCommunicationTime", now);
        SetValue("FirstRecordedTime", now);
    } else {
        if (GetValue("Description").vt != VT_BSTR) SetValue("Description", GetValue("SensorName"));
        // A document without a usable creation time must not erase the
        // stored one: the time of processing stands in.
        if (!IsUsableTime(GetValue("LastCommunicationTime"))) SetValue("LastCommunicationTime", now);
    }
    LONG written = Update(connection, true);
    // A first message of the same sensor, recorded at the same moment, may
    // have inserted the row in between: it is updated instead.
    if (written == static_cast<LONG>(kIntegrityViolation) && Load(connection) == kDone)
        written = Update(connection, true);
    EndIfFailed(written);

    const struct {
        const comsupport::Variant& address;
        const comsupport::Variant& mask;
    } pairs[] = {
        {AnalyzerNode.NetworkAddress, AnalyzerNode.SubnetMask},
        {AnalyzerNode.Ipv4SubnetAddress, AnalyzerNode.Ipv4SubnetMask},
        {AnalyzerNode.Ipv6SubnetAddress, AnalyzerNode.Ipv6SubnetMask},
    };
    for (const auto& pair : pairs) {
        // Both halves must hold a value; an unread field is EMPTY, not NULL.
        if (HasValue(pair.address.Get()) && HasValue(pair.mask.Get()))
            SaveSubnet(connection, pair.address.Get(), pair.mask.Get());
    }
    return kDone;
}

void Sensor::SaveSubnet(_ADOConnection* connection, const VARIANT& address, const VARIANT& mask) {
    // Other messages may be recording the same subnet or link at this moment.
    Subnet subnet(address, mask);
    if (subnet.Load(connection) != kDone) EndIfFailed(subnet.InsertOrAdopt(connection));
    SensorToSubnet link(*this, subnet);
    if (link.Load(connection) != kDone) EndIfFailed(link.InsertOrAdopt(connection));
}

// ---------------------------------------------------------------------------
// DetectedSystem

DetectedSystem::DetectedSystem(const ZELKXML::Event& event, const ZELKXML::Node& analyzerNode, INT sensorId)
    : SourceNode(event.Source.Node),
      AnalyzerNode(analyzerNode),
      DetectedInterfaces(SourceNode.Interfaces),
      EventPlugins(event.Plugins),
      EventKind(event.Classification.EventClassification),
      SourceSensorId(sensorId) {
    // A detection whose time is missing or unusable was made now.
    if (IsUsableTime(event.DetectTime.Get()))
        SetValue("LastDetectedTime", event.DetectTime);
    else
        SetValue("LastDetectedTime", CurrentUtcDate());
    if (EventKind.Type() == VT_BSTR) {
        const OLECHAR* sourceType = kSourceTypeUnknown;
        if (ZELKXML::EqualsIgnoringCase(EventKind.Get().bstrVal, ZELKXML::kClassificationBroadcast))
            sourceType = kSourceTypeBroadcast;
        else if (ZELKXML::EqualsIgnoringCase(EventKind.Get().bstrVal, ZELKXML::kClassificationDhcp))
            sourceType = kSourceTypeDhcp;
        SetValue("DetectedSourceType", Text(sourceType));
    }
    SetValue("Users", event.Source.UserNames());
    SetValue("AgentGUID", SourceNode.AgentGUID.value);
    SetValue("Domain", SourceNode.GroupName);
    SetValue("NetbiosName", SourceNode.NetBIOSName);
    SetValue("NetbiosComment", SourceNode.Comment);
    SetValue("IPV6", ZELKXML::AddressTextToBytes(SourceNode.Address.Get()));
    SetValue("MAC", ZELKXML::NormalizeMACText(SourceNode.MACAddress));
    SetValue("DnsName", SourceNode.Name.Type() == VT_BSTR ? SourceNode.Name : SourceNode.Address);
    SetValue("OSFamily", SourceNode.OSType.Family);
    SetValue("OSPlatform", SourceNode.OSType.Platform);
    SetValue("OSVersion", SourceNode.OSType.Version);
    SetValue("DeviceType", SourceNode.OSType.DeviceType);
}

LONG DetectedSystem::Save(_ADOConnection* connection) {
    return SaveGuarded([&] { return SaveRecord(connection); });
}

LONG DetectedSystem::SaveRecord(_ADOConnection* connection) {
    comsupport::Variant hostId;
    const INT host = RecordDetection(connection, hostId);
    Load(connection);  // the row as stored; without it the built values stand
    InsertEvents(connection, host);
    RecordInterfaces(connection, hostId.Get());
    return kDone;
}

INT DetectedSystem::RecordDetection(_ADOConnection* connection, comsupport::Variant& hostId) {
    CommandRef command = mapper::NewCommand(connection, adCmdStoredProc);
    mapper::SetCommandText(command, "ZELKSP_UpdateDetectedSystems");
    // The procedure takes its parameters by position: this order binds them.
    const struct {
        const OLECHAR* name;
        DataTypeEnum type;
        const VARIANT& value;
    } inputs[] = {
        {OLESTR("@DnsName"), adBSTR, GetValue("DnsName")},
        {OLESTR("@OSPlatform"), adBSTR, GetValue("OSPlatform")},
        {OLESTR("@OSFamily"), adBSTR, GetValue("OSFamily")},
        {OLESTR("@OSVersion"), adBSTR, GetValue("OSVersion")},
        {OLESTR("@Domain"), adBSTR, GetValue("Domain")},
        {OLESTR("@NetbiosName"), adBSTR, GetValue("NetbiosName")},
        {OLESTR("@NetbiosComment"), adBSTR, GetValue("NetbiosComment")},
        {OLESTR("@Users"), adBSTR, GetValue("Users")},
        {OLESTR("@AgentGUID"), adGUID, GetValue("AgentGUID")},
        {OLESTR("@IPV4"), adInteger, NullValue().Get()},
        {OLESTR("@IPV6"), adBinary, GetValue("IPV6")},
        {OLESTR("@MAC"), adBSTR, GetValue("MAC")},
        {OLESTR("@DetectedTime"), adDate, GetValue("LastDetectedTime")},
        {OLESTR("@DeviceType"), adBSTR, GetValue("DeviceType")},
    };
    for (const auto& input : inputs) AddParameter(command, input.name, input.type, input.value, adParamInput);
    AddParameter(command, OLESTR("@SourceID"), adInteger, comsupport::Variant::FromInt(SourceSensorId).Get(),
                 adParamInput);
    AddParameter(command, OLESTR("@SourceType"), adBSTR, GetValue("DetectedSourceType"), adParamInput);
    AddParameter(command, OLESTR("@ExternalID"), adBSTR, NullValue().Get(), adParamInput);
    AddParameter(command, OLESTR("@DetectionType"), adBSTR, Text(kDetectionTypeDetectedSystem).Get(), adParamInput);
    AddParameter(command, OLESTR("@ExternalFriendlyName"), adBSTR, NullValue().Get(), adParamInput);
    AddParameter(command, OLESTR("@MatchingOverride"), adInteger, comsupport::Variant::FromInt(0).Get(), adParamInput);
    ParameterRef outputHostId =
        AddParameter(command, OLESTR("@OutputHostID"), adInteger, NullValue().Get(), adParamOutput);
    AddParameter(command, OLESTR("@OutputNewDetection"), adBoolean, NullValue().Get(), adParamOutput);

    RecordsetRef none;
    command.Call(&_ADOCommand::Execute, static_cast<VARIANT*>(nullptr), static_cast<VARIANT*>(nullptr),
                 static_cast<LONG>(adExecuteNoRecords), none.Receive());
    none.Reset();

    ClearModified();
    outputHostId.Call(&_ADOParameter::get_Value, hostId.Receive());
    // A host id that does not convert (NULL above all) ends the save here.
    const INT host = ZELKXML::IntegerView(hostId.Get());
    SetValue("HostID", hostId);
    return host;
}

void DetectedSystem::InsertEvents(_ADOConnection* connection, INT hostId) {
    // A block that fails to insert is skipped; the next ones still go.
    for (const ZELKXML::Plugin& plugin : EventPlugins) OndrixEvent(hostId, plugin).Insert(connection, false);
}

void DetectedSystem::RecordInterfaces(_ADOConnection* connection, const VARIANT& hostId) {
    CommandRef command = mapper::NewCommand(connection, adCmdStoredProc);
    mapper::SetCommandText(command, "ZELKSP_UpdateInterfaces");
    ParametersRef parameters;
    command.Call(&_ADOCommand::get_Parameters, parameters.Receive());

    // Parameters whose values change from one call to the next.
    auto changing = [&](const OLECHAR* name, DataTypeEnum type, LONG size) {
        ParameterRef parameter;
        command.Call(&_ADOCommand::CreateParameter, comsupport::Bstr(name).Get(), type, adParamInput, size,
                     comsupport::Variant().Get(), parameter.Receive());
        parameters.Call(&ADOParameters::Append, static_cast<IDispatch*>(parameter.Checked()));
        return parameter;
    };
    AddParameter(command, OLESTR("@HostID"), adInteger, hostId, adParamInput);
    ParameterRef mac = changing(OLESTR("@MAC"), adBSTR, 0);
    AddParameter(command, OLESTR("@IPV4"), adInteger, NullValue().Get(), adParamInput);
    AddParameter(command, OLESTR("@IPV4Mask"), adInteger, NullValue().Get(), adParamInput);
    AddParameter(command, OLESTR("@IPV4Subnet"), adInteger, NullValue().Get(), adParamInput);
    ParameterRef address = changing(OLESTR("@IPV6"), adBinary, 16);
    ParameterRef mask = changing(OLESTR("@IPV6Mask"), adBinary, 16);
    ParameterRef subnet = changing(OLESTR("@IPV6Subnet"), adBinary, 16);
    AddParameter(command, OLESTR("@DetectedTime"), adDate, GetValue("LastDetectedTime"), adParamInput);
    AddParameter(command, OLESTR("@SourceID"), adInteger, comsupport::Variant::FromInt(SourceSensorId).Get(),
                 adParamInput);
    AddParameter(command, OLESTR("@SourceType"), adBSTR, GetValue("DetectedSourceType"), adParamInput);
    AddParameter(command, OLESTR("@ExternalID"), adBSTR, NullValue().Get(), adParamInput);

    auto call = [&](const comsupport::Variant& macText, const comsupport::Variant& addressBytes,
                    const comsupport::Variant& maskBytes, const comsupport::Variant& subnetBytes) {
        const comsupport::Variant normalized = ZELKXML::NormalizeMACText(macText);
        const LONG macSize =
            normalized.Type() == VT_BSTR ? static_cast<LONG>(SysStringLen(normalized.Get().bstrVal)) : 0;
        mac.Call(&_ADOParameter::put_Size, macSize);
        mac.Call(&_ADOParameter::put_Value, normalized.Get());
        address.Call(&_ADOParameter::put_Value, addressBytes.Get());
        mask.Call(&_ADOParameter::put_Value, maskBytes.Get());
        subnet.Call(&_ADOParameter::put_Value, subnetBytes.Get());
        RecordsetRef none;
        command.Call(&_ADOCommand::Execute, static_cast<VARIANT*>(nullptr), static_cast<VARIANT*>(nullptr),
                     static_cast<LONG>(adExecuteNoRecords), none.Receive());
    };

    // The machine's own address goes with the mask and subnet of the sensor's
    // host; each interface then goes with its own.
    call(SourceNode.MACAddress,
         FirstAddressBytes({&SourceNode.Address, &SourceNode.Ipv4Address, &SourceNode.Ipv6Address}),
         FirstAddressBytes({&AnalyzerNode.SubnetMask, &AnalyzerNode.Ipv4SubnetMask, &AnalyzerNode.Ipv6SubnetMask}),
         FirstAddressBytes(
             {&AnalyzerNode.NetworkAddress, &AnalyzerNode.Ipv4SubnetAddress, &AnalyzerNode.Ipv6SubnetAddress}));
    const size_t interfaces = DetectedInterfaces.size();
    for (size_t i = 0; i < interfaces; ++i) {
        const ZELKXML::Nic& nic = DetectedInterfaces[i];
        call(nic.MACAddress, ZELKXML::AddressTextToBytes(nic.Address.value.Get()),
             ZELKXML::AddressTextToBytes(nic.SubnetMask.Get()), ZELKXML::AddressTextToBytes(nic.NetworkAddress.Get()));
    }
}

}  // namespace ZELKDAO
