// How every step of rcgen gives up on a script: a Failure carrying the file
// and line it stopped at, reported by main with a non-zero exit.
#pragma once
#include <string>

namespace rcgen {

struct Failure {
    std::string message;
};

[[noreturn]] inline void Fail(const std::string& where, const std::string& message) {
    throw Failure{where + ": " + message};
}

}  // namespace rcgen
