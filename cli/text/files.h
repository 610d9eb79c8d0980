// How opkit-host opens the files it reads and writes, and names them in messages.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <ios>
#include <string>

namespace opkit_cli {

// The longest script line (and table line) that is read: a file past it is refused, so that a
// file without line ends (/dev/zero) cannot take all memory.
constexpr size_t max_line_bytes = 64 * 1024;

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
