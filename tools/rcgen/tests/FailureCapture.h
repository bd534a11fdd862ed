// What a step of rcgen failed with, for tests that feed it bad input.
#pragma once
#include <string>

#include "Failure.h"

// The message of the Failure that `step` throws, or "<no failure>".
template <typename Step>
std::string FailureOf(Step&& step) {
    try {
        step();
    } catch (const rcgen::Failure& failure) {
        return failure.message;
    }
    return "<no failure>";
}
