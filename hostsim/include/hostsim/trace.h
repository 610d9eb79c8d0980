// The trace of the service calls that the plug-in made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hostsim/api.h"
#include "hostsim/service.h"

namespace hostsim {

// One service call as the plug-in made it.
struct HOSTSIM_API TraceEntry {
    Service service;
    std::vector<int64_t> args; // numeric arguments in order (pointers left out)
    std::string text;          // the text argument, or the text handed back
    int result = 0;
    std::string to_string() const;
};

class HOSTSIM_API Trace {
  public:
    // Past `limit` entries a runaway loop keeps its first entries and the latest one.
    explicit Trace(size_t limit = 200000) : limit_(limit) {}

    void record(TraceEntry entry);
    void set_enabled(bool enabled) { enabled_ = enabled; }
    void clear() { entries_.clear(); }

    const std::vector<TraceEntry>& entries() const { return entries_; }
    std::vector<TraceEntry> of(Service service) const;
    size_t count_of(Service service) const;

  private:
    size_t limit_;
    bool enabled_ = true;
    std::vector<TraceEntry> entries_;
};

} // namespace hostsim
