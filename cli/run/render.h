// Text pictures of the emulated terminal for the command line: the screen in a numbered frame,
// user variables and their changes, and the service-call trace with repeats folded.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/host.h"
#include "text.h"

namespace opkit_cli {

struct ScreenPicture {
    int rows = 0;
    int columns = 0;
    std::vector<std::vector<hostsim::Cell>> cells;
    int cursor_row = 0;
    int cursor_column = 0;
    uint16_t cursor_type = 0;
};

ScreenPicture take_picture(const hostsim::Host& host);

// The screen framed, with row numbers on the left and column numbers above. With `ansi`,
// attribute 1 shows in reverse video; without, each row that holds such cells says which.
// Rows `first` to `last` only when given (-1: from the top, to the bottom).
std::string render_screen(const ScreenPicture& picture, bool ansi, int first = -1, int last = -1);

// "3 = "abc"" lines for every variable, or the changes between two sets.
std::string render_variables(const std::map<int, std::string>& variables);
std::vector<std::string> variable_changes(const std::map<int, std::string>& before,
                                          const std::map<int, std::string>& after);

// The trace as lines; runs of identical entries are folded into one line with a count.
std::vector<std::string> render_trace(const std::vector<hostsim::TraceEntry>& trace);

} // namespace opkit_cli
