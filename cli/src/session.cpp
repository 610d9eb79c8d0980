// Finding and loading the plug-in into a fresh emulated host.
#include "session.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#endif

#ifndef OPKIT_PLUGIN_BUILD_PATH
#define OPKIT_PLUGIN_BUILD_PATH ""
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

std::string locate_plugin(const std::string& requested, std::string& tried) {
    if (!requested.empty()) {
        return requested; // the loader reports it when it is not there
    }
    std::vector<fs::path> places;
    const fs::path here = executable_directory();
    if (!here.empty()) {
        places.push_back(here / hostsim::plugin_file_name());
    }
    if (std::string(OPKIT_PLUGIN_BUILD_PATH).size() > 0) {
        places.emplace_back(OPKIT_PLUGIN_BUILD_PATH);
    }
    tried.clear();
    for (const fs::path& place : places) {
        std::error_code error;
        if (fs::is_regular_file(place, error)) {
            return place.string();
        }
        tried += (tried.empty() ? "" : ", ") + place.string();
    }
    return {};
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
