// A call into the plug-in running on a worker thread, so that the view goes on drawing and
// handing keys to the host while the call waits.
#pragma once

#include <chrono>
#include <future>
#include <optional>
#include <string>

#include "session.h"

namespace opkit_cli {

class Worker {
  public:
    bool busy() const;

    // Starts message `code` (3: a call of `record`) on the worker thread.
    void start(Session& session, int code, std::string record);

    // The result of a call that has ended since the last time this was asked.
    std::optional<int> take_result();

    double seconds_running() const;

  private:
    using Clock = std::chrono::steady_clock;
    std::future<int> result_;
    Clock::time_point started_{};
};

} // namespace opkit_cli
