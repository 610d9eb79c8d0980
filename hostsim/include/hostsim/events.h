// Events that the host delivers to the application: the ones scheduled at times of its clock,
// and the count of those delivered, which tells waits whether one came while they looked away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "hostsim/api.h"

namespace hostsim {

struct KeyEvent {
    uint16_t code;
};
struct VariableEvent {
    int number;
    std::string text;
};
struct StopEvent {};
using HostEvent = std::variant<KeyEvent, VariableEvent, StopEvent>;

// Events waiting for their times.
class HOSTSIM_API EventSchedule {
  public:
    void add(int64_t at_ms, HostEvent event);
    std::optional<int64_t> next_due() const;
    // Removes the events due at `now_ms`, in the order of their times (ties in the order they
    // were added).
    std::vector<HostEvent> take_due(int64_t now_ms);
    size_t size() const { return waiting_.size(); }
    bool has_key() const; // a key is among the events waiting
    bool empty() const { return waiting_.empty(); }

  private:
    struct Entry {
        int64_t at;
        uint64_t order;
        HostEvent event;
    };
    std::vector<Entry> waiting_;
    uint64_t next_order_ = 0;
};

// Counts delivered events for the event wait and the idle call, and holds a stop request
// until the idle call answers it.
class HOSTSIM_API EventSignal {
  public:
    void signal() { ++count_; }
    void request_stop() { stop_requested_ = true; }

    // An event came since the last event wait returned: the next one returns at once.
    bool came_since_wait() const { return count_ != wait_seen_; }
    void end_wait() {
        wait_seen_ = count_;
        waited_since_idle_ = true;
    }

    bool came_since_idle() const { return count_ != idle_seen_; }
    // Neither an event wait nor an event since the last idle call: the caller is polling.
    bool polling() const { return !waited_since_idle_ && !came_since_idle(); }
    // Ends an idle call; true when a stop was requested since the last one.
    bool end_idle();

  private:
    uint64_t count_ = 0;
    uint64_t wait_seen_ = 0;
    uint64_t idle_seen_ = 0;
    bool waited_since_idle_ = false;
    bool stop_requested_ = false;
};

} // namespace hostsim
