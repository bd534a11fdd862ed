// A machine as an event describes it ("zelk:Node"): the sensor's own host in
// the analyzer, the detected machine in an event's source.
#pragma once
#include "model/HostValues.h"
#include "model/XMLMappable.h"

namespace ZELKXML {

// An interface's address: the element's typed value, unchecked.
class InetAddress final : public XMLValidElement {};

// The identity of the management agent on a machine: the element's typed value, unchecked.
class AgentGUID final : public XMLValidElement {};

// One network interface ("zelk:Interface").
class Nic final : public XMLMappable {
public:
    comsupport::Variant MACAddress = comsupport::Variant::Null();
    InetAddress Address;
    comsupport::Variant SubnetMask = comsupport::Variant::Null();
    comsupport::Variant NetworkAddress = comsupport::Variant::Null();

    void map(IXMLDOMNode* node, const OLECHAR* name) override;
};

// The operating system ("zelk:OSType") and the device type derived from it.
class OSType final : public XMLMappable {
public:
    comsupport::Variant Platform = comsupport::Variant::Null();
    comsupport::Variant Family = comsupport::Variant::Null();
    comsupport::Variant Version = comsupport::Variant::Null();
    // Not read from the document: set on every map (see DeviceTypeFor).
    comsupport::Variant DeviceType = comsupport::Variant::Null();

    void map(IXMLDOMNode* node, const OLECHAR* name) override;
};

// Fields are named after their elements; where a field shares its type's name
// the type is written qualified.
class Node final : public XMLMappable {
public:
    ZELKXML::AgentGUID AgentGUID;
    comsupport::Variant Name = comsupport::Variant::Null();
    comsupport::Variant GroupName = comsupport::Variant::Null();
    comsupport::Variant NetBIOSName = comsupport::Variant::Null();
    comsupport::Variant Comment = comsupport::Variant::Null();
    comsupport::Variant Address = comsupport::Variant::Null();
    comsupport::Variant MACAddress = comsupport::Variant::Null();
    comsupport::Variant SubnetMask = comsupport::Variant::Null();
    comsupport::Variant NetworkAddress = comsupport::Variant::Null();
    ZELKXML::OSType OSType;
    XMLMappableList<Nic> Interfaces;
    // The subnet fields start EMPTY (never read) and are NULL after a map
    // that found no element.
    comsupport::Variant Ipv4Address;
    comsupport::Variant Ipv4SubnetMask;
    comsupport::Variant Ipv4SubnetAddress;
    comsupport::Variant Ipv6Address;
    comsupport::Variant Ipv6SubnetMask;
    comsupport::Variant Ipv6SubnetAddress;

    void map(IXMLDOMNode* node, const OLECHAR* name) override;
};

}  // namespace ZELKXML
