// What the host database holds about sensors and detected systems, as the
// data-channel plug-in recorded it: tables for people, JSON for scripts.
#pragma once
#include <iosfwd>
#include <optional>
#include <string>

#include "Commands.h"

namespace morvhost {

enum class OutputFormat { Table, Json };

// Every sensor with the subnets it covers.
void SensorsCommand(const CommonOptions& options, OutputFormat format, std::ostream& out);

struct SystemFilter {
    std::optional<long> sensorId;  // only systems whose last detection came from this sensor
    std::string since;             // only systems last detected at or after this time (argument text)
};
// The detected systems, oldest first; the JSON form carries each system's
// interfaces and plug-in events.
void SystemsCommand(const CommonOptions& options, const SystemFilter& filter, OutputFormat format, std::ostream& out);

// One detected system with its interfaces and plug-in events; raises
// HostError when no system has that host id.
void SystemCommand(const CommonOptions& options, const std::string& hostId, OutputFormat format, std::ostream& out);

}  // namespace morvhost
