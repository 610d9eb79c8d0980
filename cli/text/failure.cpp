// The error type and the one place that says an error.
#include "failure.h"

#include <iostream>

namespace opkit_cli {

Failure::Failure(const std::string& message, int status, std::string reason)
    : std::runtime_error(message), status_(status),
      reason_(reason.empty() ? message : std::move(reason)) {}

void report(const Failure& failure) {
    const std::string message = failure.what();
    std::cerr << message << (message.empty() || message.back() != '\n' ? "\n" : "");
}

} // namespace opkit_cli
