// A failure that ends a morvhost command: its one-line reason is printed on
// standard error and the program exits with a non-zero status.
#pragma once
#include <stdexcept>
#include <string>

namespace morvhost {

class HostError : public std::runtime_error {
public:
    explicit HostError(const std::string& reason) : std::runtime_error(reason) {}
};

}  // namespace morvhost
