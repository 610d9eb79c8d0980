// The message switch behind the exported entry.
#pragma once

namespace opkit {

// Handles one message from the host: 0 and 2 forget the popup box, 3 runs the custom
// function that `record` names, 5 runs the screen self-test; every other code does nothing.
int opkit_main(int message, char* record);

// Index in the dispatch table of the function that a seven-character name selects, compared
// without regard to case; -1 when none does.
int dispatch_find(const char* name);

} // namespace opkit
