// The event document a sensor uploads: the reporting sensor (the analyzer) and
// what it detected (the events).
#pragma once
#include "model/HostDescription.h"
#include "model/XMLMappable.h"

namespace ZELKXML {

// The classifications of detections that are recorded as detected systems.
inline constexpr const OLECHAR* kClassificationBroadcast = OLESTR("host.detected.broadcast");
inline constexpr const OLECHAR* kClassificationDhcp = OLESTR("host.detected.dhcp");

// The sensor's own description ("zelk:Sensor").
class Sensor final : public XMLMappable {
public:
    LONG SensorId = 0;
    comsupport::Variant Name = comsupport::Variant::Null();
    comsupport::Variant ProductVersion = comsupport::Variant::Null();
    comsupport::Variant ProductFamily = comsupport::Variant::Null();
    comsupport::Variant Info = comsupport::Variant::Null();
    LONG IsDetectionSensor = 0;
    // 0 none, 1 "server", 2 "voting".
    LONG ElectionRole = 0;
    LONG DhcpFlag = 0;

    // A sensor without a numeric "zelk:Dhcp" raises comsupport::ComError after
    // its id and texts are read.
    void map(IXMLDOMNode* node, const OLECHAR* name) override;
};

class User final : public XMLMappable {
public:
    comsupport::Variant Name = comsupport::Variant::Null();

    void map(IXMLDOMNode* node, const OLECHAR* name) override;
};

// The reporting sensor, its user and its host. Fields share their types'
// names, so the types are written qualified.
class Analyzer final : public XMLMappable {
public:
    ZELKXML::Sensor Sensor;
    ZELKXML::User User;
    ZELKXML::Node Node;

    void map(IXMLDOMNode* node, const OLECHAR* name) override;
};

// The detected machine and its users.
class Source final : public XMLMappable {
public:
    ZELKXML::Node Node;
    XMLMappableList<ZELKXML::User> Users;

    void map(IXMLDOMNode* node, const OLECHAR* name) override;
    // The users' names joined with ",", NULL when there is none. Users without a
    // name are skipped; an empty name after a non-empty one leaves an empty field.
    comsupport::Variant UserNames() const;
};

class Classification final : public XMLMappable {
public:
    // EMPTY until mapped; NULL after a map that found no "zelk:EventClassification".
    comsupport::Variant EventClassification;

    void map(IXMLDOMNode* node, const OLECHAR* name) override;
};

// A plug-in data block that came with a detection.
class Plugin final : public XMLMappable {
public:
    comsupport::Variant PluginName = comsupport::Variant::Null();
    comsupport::Variant PluginVersion = comsupport::Variant::Null();
    comsupport::Variant PluginData = comsupport::Variant::Null();
    comsupport::Variant OndrixEventTypeId = comsupport::Variant::Null();

    void map(IXMLDOMNode* node, const OLECHAR* name) override;
};

class Event final : public XMLMappable {
public:
    comsupport::Variant DetectTime = comsupport::Variant::Null();
    ZELKXML::Source Source;
    ZELKXML::Classification Classification;
    XMLMappableList<Plugin> Plugins;

    void map(IXMLDOMNode* node, const OLECHAR* name) override;
};

// The whole document. Built empty, filled once by one of its loads.
class ECEvent final : public XMLMappable {
public:
    comsupport::Variant CreateTime = comsupport::Variant::Null();
    ZELKXML::Analyzer Analyzer;
    XMLMappableList<Event> Events;

    // Maps the document element (whatever its name).
    void map(IXMLDOMNode* node, const OLECHAR* name) override;
    // Loads the UTF-8 event text of a message payload (a byte array; null is
    // ignored). Never raises: a failure goes to the debugger output and leaves
    // what was mapped before it.
    virtual void LoadFromPayload(SAFEARRAY* payload);
    // Loads an event document from a file path or URL, as LoadFromPayload.
    virtual void LoadFromFile(const OLECHAR* path);

private:
    void MapDocumentElement(const DocumentRef& document);
};

}  // namespace ZELKXML
