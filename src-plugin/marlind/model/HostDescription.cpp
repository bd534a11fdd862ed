// Maps "zelk:Node" elements, their interfaces and operating system onto Node, Nic and OSType,
// deriving the device type from the platform as it is read.
#include "model/HostDescription.h"

namespace ZELKXML {

namespace {

// The element names this file reads, one query each.
const QueryText kMACAddress(OLESTR("zelk:MACAddress"));
const QueryText kAddress(OLESTR("zelk:Address"));
const QueryText kSubnetMask(OLESTR("zelk:SubnetMask"));
const QueryText kNetworkAddress(OLESTR("zelk:NetworkAddress"));
const QueryText kPlatform(OLESTR("zelk:Platform"));
const QueryText kFamily(OLESTR("zelk:Family"));
const QueryText kVersion(OLESTR("zelk:Version"));
const QueryText kAgentGUID(OLESTR("zelk:AgentGUID"));
const QueryText kName(OLESTR("zelk:Name"));
const QueryText kOSType(OLESTR("zelk:OSType"));
const QueryText kGroupName(OLESTR("zelk:GroupName"));
const QueryText kNetBIOSName(OLESTR("zelk:NetBIOSName"));
const QueryText kComment(OLESTR("zelk:Comment"));
const QueryText kIpv4Address(OLESTR("zelk:Ipv4Address"));
const QueryText kIpv4SubnetMask(OLESTR("zelk:Ipv4SubnetMask"));
const QueryText kIpv4SubnetAddress(OLESTR("zelk:Ipv4SubnetAddress"));
const QueryText kIpv6Address(OLESTR("zelk:Ipv6Address"));
const QueryText kIpv6SubnetMask(OLESTR("zelk:Ipv6SubnetMask"));
const QueryText kIpv6SubnetAddress(OLESTR("zelk:Ipv6SubnetAddress"));

}  // namespace

void Nic::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    ReadChildValue(node, kMACAddress, MACAddress);
    MapChildIfPresent(node, kAddress, Address);
    ReadChildValue(node, kSubnetMask, SubnetMask);
    ReadChildValue(node, kNetworkAddress, NetworkAddress);
}

void OSType::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    ReadChildValue(node, kPlatform, Platform);
    ReadChildValue(node, kFamily, Family);
    ReadChildValue(node, kVersion, Version);
    DeviceType = comsupport::Variant::FromText(kDeviceUnknown);
    const OLECHAR* deviceType = DeviceTypeFor(Platform.Get(), Family.Get());
    if (deviceType != kDeviceUnknown) DeviceType = comsupport::Variant::FromText(deviceType);
}

void Node::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    MapChildIfPresent(node, kAgentGUID, AgentGUID);
    ReadChildValue(node, kName, Name);
    MapChildIfPresent(node, kOSType, OSType);
    ReadChildValue(node, kGroupName, GroupName);
    ReadChildValue(node, kNetBIOSName, NetBIOSName);
    ReadChildValue(node, kComment, Comment);
    ReadChildValue(node, kMACAddress, MACAddress);
    ReadChildValue(node, kAddress, Address);
    ReadChildValue(node, kSubnetMask, SubnetMask);
    ReadChildValue(node, kNetworkAddress, NetworkAddress);
    Interfaces.map(node, OLESTR("zelk:Interface"));
    ReadChildValue(node, kIpv4Address, Ipv4Address);
    ReadChildValue(node, kIpv4SubnetMask, Ipv4SubnetMask);
    ReadChildValue(node, kIpv4SubnetAddress, Ipv4SubnetAddress);
    ReadChildValue(node, kIpv6Address, Ipv6Address);
    ReadChildValue(node, kIpv6SubnetMask, Ipv6SubnetMask);
    ReadChildValue(node, kIpv6SubnetAddress, Ipv6SubnetAddress);
}

}  // namespace ZELKXML
