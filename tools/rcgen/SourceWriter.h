// The C++ source rcgen writes: the resources' bytes and the table that
// registers them with wincompat when the library loads.
#pragma once
#include <string>
#include <vector>

#include "ResourceData.h"

namespace rcgen {

// The whole generated source; `source` names the script in its first line.
std::string Generate(const std::vector<Resource>& resources, const std::string& source);

}  // namespace rcgen
