// The full-screen view of the emulated terminal: its screen, the user variables, the last
// result and an input line, on the real clock, with keys going to the host while a function
// waits for one.
#pragma once

#include "failure.h"
#include "session.h"

namespace opkit_cli {

// True when this build has the full-screen view.
bool shell_available();

// Whether the session may be recorded at `path` (a recording, or no file yet, that can be
// written, and not the plug-in). Throws Failure saying why not.
void check_recording_path(const std::string& path, const SessionOptions& options);

// Runs the view until the user leaves it; the exit status. With a `record_path`, the session
// is written there as a script when the view ends. Throws Failure when the plug-in cannot be
// loaded or the recording cannot be written.
int run_shell(SessionOptions options, const std::string& record_path = {});

} // namespace opkit_cli
