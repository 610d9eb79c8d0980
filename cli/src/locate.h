// Where opkit-host finds its plug-in, the version it reports, and how it opens the other files
// it reads and writes.
#pragma once

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ios>
#include <string>

namespace opkit_cli {

// The project version this tool was built from, e.g. "1.0.0".
const char* tool_version();

// Where the plug-in is: `requested` when given; else the plug-in beside this program (a build
// tree, or a Windows install); else the one in ../lib/opkit/ (an installed tree). Both places
// are found from this program's own location, never from a path fixed at build time. Empty,
// with `tried` listing the places looked at, when neither exists.
// A requested name is a path, relative to the current folder.
std::string locate_plugin(const std::string& requested, std::string& tried);

// The plug-in file as a report names it: its path, size and modification time.
std::string describe_plugin_file(const std::string& path);

// Why a file that is a folder cannot be opened as one.
constexpr const char* folder_reason = "it is a folder";

// Opens a file stream (std::ifstream or std::ofstream) on `file`, binary: empty, or why it
// cannot be opened: "it is a folder" (a folder opens for reading on some systems and then
// reads as empty), or the system's reason.
template <class Stream> std::string open_stream(const std::string& file, Stream& stream) {
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
        return folder_reason;
    }
    errno = 0;
    stream.open(file, std::ios::binary);
    if (!stream.is_open()) {
        const int why = errno;
        return why != 0 ? std::strerror(why) : "it cannot be opened";
    }
    return {};
}

// The name a report gives a file argument: "(standard input)" for -, else the name with its
// control bytes escaped, as all input is shown.
std::string file_label(const std::string& file);

} // namespace opkit_cli
