// Loading the plug-in into a fresh emulated host.
#include "session.h"

namespace opkit_cli {

Session::Session(SessionOptions options) : options_(std::move(options)) {}

bool Session::open(std::string& error) {
    hostsim::HostOptions host_options;
    host_options.rows = options_.rows;
    host_options.columns = options_.columns;
    host_options.clock = options_.clock;
    host_ = std::make_unique<hostsim::Host>(host_options);
    host_->make_current();
    unreadable_.clear();
    return load(error);
}

bool Session::reload(std::string& error) {
    plugin_->unload();
    return load(error);
}

bool Session::load(std::string& error) {
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
