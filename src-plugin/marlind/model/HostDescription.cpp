#include "model/HostDescription.h"

namespace ZELKXML {

void Nic::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    ReadChildValue(node, OLESTR("zelk:MACAddress"), MACAddress);
    MapChildIfPresent(node, OLESTR("zelk:Address"), Address);
    ReadChildValue(node, OLESTR("zelk:SubnetMask"), SubnetMask);
    ReadChildValue(node, OLESTR("zelk:NetworkAddress"), NetworkAddress);
}

void OSType::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    ReadChildValue(node, OLESTR("zelk:Platform"), Platform);
    ReadChildValue(node, OLESTR("zelk:Family"), Family);
    ReadChildValue(node, OLESTR("zelk:Version"), Version);
    DeviceType = comsupport::Variant::FromText(kDeviceUnknown);
    const OLECHAR* deviceType = DeviceTypeFor(Platform.Get(), Family.Get());
    if (deviceType != kDeviceUnknown) DeviceType = comsupport::Variant::FromText(deviceType);
}

void Node::map(IXMLDOMNode* node, const OLECHAR* /*name*/) {
    MapChildIfPresent(node, OLESTR("zelk:AgentGUID"), AgentGUID);
    ReadChildValue(node, OLESTR("zelk:Name"), Name);
    MapChildIfPresent(node, OLESTR("zelk:OSType"), OSType);
    ReadChildValue(node, OLESTR("zelk:GroupName"), GroupName);
    ReadChildValue(node, OLESTR("zelk:NetBIOSName"), NetBIOSName);
    ReadChildValue(node, OLESTR("zelk:Comment"), Comment);
    ReadChildValue(node, OLESTR("zelk:MACAddress"), MACAddress);
    ReadChildValue(node, OLESTR("zelk:Address"), Address);
    ReadChildValue(node, OLESTR("zelk:SubnetMask"), SubnetMask);
    ReadChildValue(node, OLESTR("zelk:NetworkAddress"), NetworkAddress);
    Interfaces.map(node, OLESTR("zelk:Interface"));
    ReadChildValue(node, OLESTR("zelk:Ipv4Address"), Ipv4Address);
    ReadChildValue(node, OLESTR("zelk:Ipv4SubnetMask"), Ipv4SubnetMask);
    ReadChildValue(node, OLESTR("zelk:Ipv4SubnetAddress"), Ipv4SubnetAddress);
    ReadChildValue(node, OLESTR("zelk:Ipv6Address"), Ipv6Address);
    ReadChildValue(node, OLESTR("zelk:Ipv6SubnetMask"), Ipv6SubnetMask);
    ReadChildValue(node, OLESTR("zelk:Ipv6SubnetAddress"), Ipv6SubnetAddress);
}

}  // namespace ZELKXML
