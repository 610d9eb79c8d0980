// Finding and loading the plug-in into a fresh emulated host.
#include "session.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
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

// The one place the tool looks for the plug-in when none is named: beside its own program.
fs::path default_plugin_location() {
    const fs::path here = executable_directory();
    return here.empty() ? fs::path() : here / hostsim::plugin_file_name();
}

} // namespace

std::string locate_plugin(const std::string& requested, std::string& tried) {
    if (!requested.empty()) {
        // A name the user gives is a path, relative to the current folder: never a name for the
        // loader to search its library path with.
        std::error_code error;
        const fs::path absolute = fs::absolute(requested, error);
        return error ? requested : absolute.string(); // the loader reports it when it is not there
    }
    const fs::path place = default_plugin_location();
    tried = place.empty() ? std::string("(the program's own folder is unknown)") : place.string();
    std::error_code error;
    return !place.empty() && fs::is_regular_file(place, error) ? place.string() : std::string();
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

Session::Session(SessionOptions options) : options_(std::move(options)) {}

bool Session::open(std::string& error) {
    hostsim::HostOptions host_options;
    host_options.rows = options_.rows;
    host_options.columns = options_.columns;
    host_options.clock = options_.clock;
    host_ = std::make_unique<hostsim::Host>(host_options);
    host_->make_current();
    unreadable_.clear();
    plugin_ = std::make_unique<hostsim::Plugin>(options_.plugin_path);
    if (!plugin_->load()) {
        error = plugin_->error();
        return false;
    }
    return true;
}

bool Session::reload(std::string& error) {
    plugin_->unload();
    plugin_ = std::make_unique<hostsim::Plugin>(options_.plugin_path);
    if (!plugin_->load()) {
        error = plugin_->error();
        return false;
    }
    return true;
}

void Session::set_unreadable(int variable, bool unreadable) {
    host_->set_unreadable(variable, unreadable);
    if (unreadable) {
        unreadable_.insert(variable);
    } else {
        unreadable_.erase(variable);
    }
}

ReadAnswer Session::read_answer(int variable) const {
    const auto text = host_->variable(variable);
    if (!text) {
        return ReadAnswer{HOSTLIB_BAD_NUMBER, {}};
    }
    if (unreadable_.count(variable) != 0) {
        return ReadAnswer{HOSTLIB_UNREADABLE, {}};
    }
    return ReadAnswer{HOSTLIB_OK, *text};
}

} // namespace opkit_cli
