// Recording a shell session as a script that `run` replays: what the session did to the host,
// in order, with each call's clock and result, and the final user variables and screen as
// expectations.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "output.h"

namespace opkit_cli {

class Recorder {
  public:
    // The first line of every recording: what tells a recording from any other file.
    static constexpr const char* header =
        "# Recorded by opkit-host shell --record; replay with opkit-host run.";

    // Directives that act on the host, as typed (set, key, clock, at, write, ...); display-only
    // ones (show, echo, explain, help) are left out, as are expectations the user typed.
    static bool acts_on_host(const std::string& line);

    // A call or message: the clock it started at (script form), then the line. Replayed on a
    // virtual clock, the call then sees the same time of day as it did in the shell.
    void call(const std::string& clock_text, const std::string& line);
    // The running call's result and the notice it showed ("" for none), once it has ended: a
    // notice is expected in the replay as it was seen.
    void result(int value, const std::string& notice = {});
    // A key or a set/stop made while a call ran, `milliseconds` after it started: replayed as
    // an event scheduled before the call, so that it reaches the call at the same point.
    void during_call(long long milliseconds, const std::string& event);
    // A directive typed while no call ran.
    void line(const std::string& text);

    // The script: the lines so far, then an expectation for every non-empty user variable and
    // every non-blank screen row.
    std::string script(const std::map<int, std::string>& variables,
                       const std::vector<std::string>& screen_rows) const;

  private:
    std::vector<std::string> lines_;
    size_t running_call_ = 0; // index of the running call's line; events go before it
    bool running_ = false;
};

// A recording, as `shell --record` writes it over an existing file.
extern const OutputKind recording_output;

} // namespace opkit_cli
