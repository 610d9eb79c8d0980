// Screen files: the emulated screen stored as a text picture, one line a row (trailing blanks
// left out), optionally followed by a line "~~ attributes ~~" and a row of attribute digits
// for each screen row. `expect screen FILE` compares the screen with one and shows the rows
// that differ; run --update-screens writes it.
#pragma once

#include <optional>
#include <string>

#include "hostsim/host.h"

namespace opkit_cli {

// The picture of the screen as a screen file holds it.
std::string screen_picture(const hostsim::Host& host, bool attributes);

// Compares the screen with the file; empty when they agree, else a row-by-row account. With
// `update`, a missing or differing file is written instead, and `note` says so.
std::optional<std::string> compare_screen_file(const hostsim::Host& host, const std::string& path,
                                               bool attributes, bool update, std::string& note);

} // namespace opkit_cli
