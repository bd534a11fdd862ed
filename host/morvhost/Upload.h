// `morvhost upload`: event documents go through the data-channel plug-in the
// way the host passes a sensor's upload on: the plug-in activated by its
// CLSID, one ADO connection per worker thread, one shared plug-in object.
#pragma once
#include <iosfwd>
#include <string>
#include <vector>

#include "Commands.h"

namespace morvhost {

// The message type sensors send their event documents with.
extern const char kSensorEventMessageType[];

struct UploadRequest {
    std::vector<std::string> paths;  // files, folders (every .xml in name order), "-" for standard input
    std::string messageType = kSensorEventMessageType;
    unsigned jobs = 1;  // worker threads calling the one plug-in object
};

// Sends every document and writes the summary to `out`. Returns the exit
// status: 1 when the plug-in refused a call, else 0 (documents it could not
// use are counted in the summary, not failures of the command). Raises
// HostError when the plug-in cannot be activated or a path does not exist.
int UploadCommand(const CommonOptions& options, const UploadRequest& request, std::ostream& out);

}  // namespace morvhost
