// One emulated terminal with the plug-in loaded into it, as a host runs it: the host made
// current for hostlib's services and the plug-in loaded by path through its exported `main`.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "explain.h"
#include "hostsim/host.h"
#include "hostsim/plugin.h"
#include "locate.h"

namespace opkit_cli {

struct SessionOptions {
    std::string plugin_path;
    int rows = hostsim::HostOptions{}.rows;
    int columns = hostsim::HostOptions{}.columns;
    hostsim::ClockMode clock = hostsim::ClockMode::virtual_time;
};

class Session {
  public:
    explicit Session(SessionOptions options);

    // Makes the host current and loads the plug-in; false with `error` set.
    bool open(std::string& error);
    // Unloads the plug-in and loads it again: its state starts from zero, the host keeps its own.
    bool reload(std::string& error);

    hostsim::Host& host() { return *host_; }
    const hostsim::Host& host() const { return *host_; }
    hostsim::Plugin& plugin() { return *plugin_; }
    const SessionOptions& options() const { return options_; }

    // Marks a variable unreadable (or readable again); the host answers 3 to its reads.
    void set_unreadable(int variable, bool unreadable);
    // What the host would answer to a read of `variable` now.
    ReadAnswer read_answer(int variable) const;

  private:
    bool load(std::string& error);

    SessionOptions options_;
    std::unique_ptr<hostsim::Host> host_;
    std::unique_ptr<hostsim::Plugin> plugin_;
    std::set<int> unreadable_;
};

} // namespace opkit_cli
