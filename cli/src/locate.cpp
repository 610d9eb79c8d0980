// Finding the plug-in relative to this program, and the tool's version.
#include "locate.h"

#include <filesystem>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "hostsim/plugin.h"

#ifndef OPKIT_VERSION
#error "OPKIT_VERSION must be defined by the build"
#endif

namespace opkit_cli {

namespace {

namespace fs = std::filesystem;

fs::path executable_directory() {
#if defined(_WIN32)
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return {};
    }
    return fs::path(path).parent_path();
#else
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
#endif
}

} // namespace

const char* tool_version() {
    return OPKIT_VERSION;
}

std::string locate_plugin(const std::string& requested, std::string& tried) {
    if (!requested.empty()) {
        return requested; // the loader reports it when it is not there
    }
    tried.clear();
    const fs::path here = executable_directory();
    if (here.empty()) {
        tried = "(this program's own location is unknown)";
        return {};
    }
    const std::string file = hostsim::plugin_file_name();
    const std::vector<fs::path> places = {
        here / file, (here / ".." / "lib" / "opkit" / file).lexically_normal()};
    for (const fs::path& place : places) {
        std::error_code error;
        if (fs::is_regular_file(place, error)) {
            return place.string();
        }
        tried += (tried.empty() ? "" : ", ") + place.string();
    }
    return {};
}

} // namespace opkit_cli
