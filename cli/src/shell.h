// The full-screen view of the emulated terminal: its screen, the user variables, the last
// result and an input line, on the real clock, with keys going to the host while a function
// waits for one.
#pragma once

#include "session.h"

namespace opkit_cli {

// True when this build has the full-screen view.
bool shell_available();

// Runs the view until the user leaves it; the exit status. With a `record_path`, the session
// is written there as a script when the view ends.
int run_shell(SessionOptions options, const std::string& record_path = {});

} // namespace opkit_cli
