// The exit statuses of opkit-host and its one error type. A Failure is raised where an error
// is found, carrying the message to show and the exit status it ends with; main says it on
// standard error and exits with its status. A command that goes on after an error in one of
// several inputs (a script or table that cannot be read) catches it there and says it with
// report().
#pragma once

#include <stdexcept>
#include <string>

namespace opkit_cli {

constexpr int exit_ok = 0;
constexpr int exit_failed = 1; // expectations failed, or explain found a notice
constexpr int exit_error = 2;  // bad input, missing file, plug-in not loadable
constexpr int exit_hung = 3;   // a call did not return

class Failure : public std::runtime_error {
  public:
    // `message` is shown as it is (with its "opkit-host: " or "file: error: " head); `reason`
    // is the short form that reports give (empty: the message).
    explicit Failure(const std::string& message, int status = exit_error, std::string reason = {});
    int status() const { return status_; }
    const std::string& reason() const { return reason_; }

  private:
    int status_;
    std::string reason_;
};

// Says the failure on standard error, ending its last line.
void report(const Failure& failure);

} // namespace opkit_cli
