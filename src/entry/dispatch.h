// The message switch behind the exported entry.
#pragma once

namespace opkit {

// Handles one message from the host: 0 and 2 forget the popup box, 3 runs the custom
// function that `record` names, 5 runs the screen self-test; every other code does nothing.
int opkit_main(int message, char* record);

// The name columns of a call record as the record reader copies them: up to seven
// characters, a NUL, and zeros up to the end.
constexpr int name_columns = 7;
using NameColumns = char[name_columns + 1];

// Index in the dispatch table of the function that the name columns select, compared without
// regard to ASCII case; -1 when none does. This is the lookup each call makes.
int dispatch_find_columns(const NameColumns& name);

// The same for any text: one of more than seven characters matches nothing.
int dispatch_find(const char* name);

} // namespace opkit
