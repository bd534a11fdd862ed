// What a policy asks the policy plug-in for, read the way Quillet reads it:
// it adds the scan blacklist when the policy's Detection section enables both
// subnet scanning and OS fingerprinting, and the systems marked as exceptions
// as well when ScanSystemsMarkedAsException is 0.
#pragma once
#include <string>

namespace morvhost {

struct ListRequest {
    bool scanBlacklist = false;
    bool exceptions = false;
};

// Needs COM on the calling thread. A policy that does not parse asks for nothing.
ListRequest RequestedLists(const std::string& policyUtf8);

}  // namespace morvhost
