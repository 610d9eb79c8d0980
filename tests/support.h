// Shared test fixture: a fresh emulated host made current and the built plug-in loaded as a
// host loads it, so every test starts from a freshly loaded library.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/plugin.h"

namespace opkit_test {

using hostsim::Service;

// A record of `length` (the length digits) whose name stands in columns 2-8, with each
// field's text placed at its column and blanks elsewhere. The record holds length + 2
// characters unless a field reaches further, or `chars` says otherwise (-1: length + 2).
std::string make_record(int length, std::string_view name,
                        std::initializer_list<std::pair<int, std::string_view>> fields = {},
                        int chars = -1);

class PluginTest : public ::testing::Test {
  protected:
    explicit PluginTest(hostsim::HostOptions options = {});
    void SetUp() override;

    int call(std::string_view record) { return plugin.call(record); }
    int message(int code) { return plugin.message(code); }
    std::string row(int r) const { return host.screen_row(r); }
    // The rows the parameter notice leaves: its code and excerpt on row 0.
    std::string notice_code() const;
    // Trace entries of one service, as text.
    std::vector<std::string> calls_of(Service service) const;
    // Every trace entry as text, in order.
    std::vector<std::string> trace_text() const;

    hostsim::Host host;
    hostsim::Plugin plugin;
};

} // namespace opkit_test
