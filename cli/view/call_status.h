// What the view says of the call that runs: a delay's time left, a wait's variable and
// timeout, a notice waiting for its key, the self-test's keys.
#pragma once

#include <optional>
#include <string>

#include "explain.h"
#include "hostsim/host.h"

namespace opkit_cli {

class CallStatus {
  public:
    // A call starts: message `code` (3: a call of `record`).
    void start(int code, const std::string& record);

    // The state line while the call has run `seconds` on a host showing `host`'s screen.
    std::string waiting_text(const hostsim::Host& host, double seconds) const;

  private:
    std::string function_; // the function called, or "self-test"
    std::optional<opkit::Behaviour> behaviour_;
    double seconds_ = 0; // a delay: its nominal duration; a wait: its timeout
    int variable_ = 0;   // a wait: the variable it waits for
    bool self_test_ = false;
};

} // namespace opkit_cli
