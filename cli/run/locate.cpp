// Finding the plug-in relative to this program, and the tool's version.
#include "locate.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "files.h"
#include "hostsim/plugin.h"
#include "text.h"

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
        // A name the user gives is a path, relative to the current folder: never a name for the
        // loader to search its library path with.
        std::error_code error;
        const fs::path absolute = fs::absolute(requested, error);
        return error ? requested : absolute.string(); // the loader reports it when it is not there
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

std::string describe_plugin_file(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    if (error) {
        return path;
    }
    const auto written = fs::last_write_time(path, error);
    std::string when = "unknown time";
    if (!error) {
        const auto since = std::chrono::file_clock::to_sys(written);
        const std::time_t t = std::chrono::system_clock::to_time_t(
            std::chrono::time_point_cast<std::chrono::system_clock::duration>(since));
        std::tm parts{};
#if defined(_WIN32)
        gmtime_s(&parts, &t);
#else
        gmtime_r(&t, &parts);
#endif
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
        when = text;
    }
    return path + " (" + std::to_string(size) + " bytes, modified " + when + ")";
}

} // namespace opkit_cli
