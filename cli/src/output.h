// Where opkit-host's output goes, and the checks on the way: one writer behind standard output
// and standard error that escapes every control byte it is handed and notes a write that
// failed; one writer of whole files that gives the system's reason when it fails; and the one
// place that decides whether a path may be written as a report, a screen file or a recording.
#pragma once

#include <string>
#include <vector>

namespace opkit_cli {

// Makes sure descriptors 0 to 2 are open (a file opened later must never land on one of them)
// and puts the checked writers behind std::cout and std::cerr. Answers false when standard
// output is closed: nothing the tool prints could reach anyone (finish_output says so).
bool install_output();

// Lets the tool's own reverse video and colour (SGR sequences) through standard output; every
// other control byte is still written as \xHH.
void allow_output_styles(bool allowed);

// The reason a write to standard output failed, or empty.
std::string output_failure();

// Flushes both streams. A failed write to standard output is said on standard error and turns
// a status below 2 into 2; a status of 2 or more (an error, a hang, a signal) is kept.
int finish_output(int status);

// Writes `text` as the whole of the file at `path`: empty, or why it could not be written
// ("it is a folder", or the system's reason).
std::string write_file(const std::string& path, const std::string& text);

// Reads at most `limit` bytes of the file at `path` into `text`: empty, or why not.
std::string read_file_head(const std::string& path, size_t limit, std::string& text);

enum class OutputKind { junit, screen, recording, html };

// Why the file at `path` may not be written as `kind` (empty: it may): it is standard output,
// a folder, one of `inputs` (the files the command reads, compared as files, not as names), or
// an existing file that is not of that kind (an empty file is taken as one). Devices such as
// /dev/null are accepted; what writing them gives is said when it happens.
std::string refuse_output(const std::string& path, OutputKind kind,
                          const std::vector<std::string>& inputs);

// What `kind` is called in messages: "JUnit report", "screen file", "recording", "HTML report".
const char* output_kind_name(OutputKind kind);

} // namespace opkit_cli
