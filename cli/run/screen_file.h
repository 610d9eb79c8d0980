// Screen files: the emulated screen stored as a text picture, one line a row (trailing blanks
// left out), optionally followed by a line "~~ attributes ~~" and a row of attribute digits
// for each screen row. `expect screen FILE` compares the screen with one and shows the rows
// that differ; run --update-screens writes it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/host.h"
#include "output.h"

namespace opkit_cli {

// The most a screen file may hold: far more than the largest screen's picture.
constexpr size_t max_screen_file_bytes = 1 << 20;

// Whether a text is a screen picture: lines of printable characters, at most as long as the
// widest screen's rows, digits only after the attributes line.
bool is_screen_picture(std::string_view text);

// A screen file, as `run --update-screens` writes it over an existing file.
extern const OutputKind screen_output;

// The picture of the screen as a screen file holds it.
std::string screen_picture(const hostsim::Host& host, bool attributes);

// Compares the screen with the file; empty when they agree, else a row-by-row account. With
// `update`, a missing or differing file is written instead, and `note` says so, unless the
// path may not be written (one of `inputs`, or a file that is no screen file).
std::optional<std::string> compare_screen_file(const hostsim::Host& host, const std::string& path,
                                               bool attributes, bool update, std::string& note,
                                               const std::vector<std::string>& inputs = {});

} // namespace opkit_cli
