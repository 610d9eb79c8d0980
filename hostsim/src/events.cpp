// Scheduled events and the count of delivered ones.
#include "hostsim/events.h"

#include <algorithm>
#include <iterator>

namespace hostsim {

void EventSchedule::add(int64_t at_ms, HostEvent event) {
    waiting_.push_back(Entry{at_ms, next_order_++, std::move(event)});
}

std::optional<int64_t> EventSchedule::next_due() const {
    std::optional<int64_t> due;
    for (const Entry& entry : waiting_) {
        if (!due || entry.at < *due) {
            due = entry.at;
        }
    }
    return due;
}

bool EventSchedule::has_key() const {
    return std::any_of(waiting_.begin(), waiting_.end(),
                       [](const Entry& e) { return std::holds_alternative<KeyEvent>(e.event); });
}

std::vector<HostEvent> EventSchedule::take_due(int64_t now_ms) {
    const auto split = std::stable_partition(waiting_.begin(), waiting_.end(),
                                             [&](const Entry& e) { return e.at > now_ms; });
    std::vector<Entry> due(std::make_move_iterator(split), std::make_move_iterator(waiting_.end()));
    waiting_.erase(split, waiting_.end());
    std::sort(due.begin(), due.end(), [](const Entry& a, const Entry& b) {
        return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    std::vector<HostEvent> events;
    events.reserve(due.size());
    for (Entry& entry : due) {
        events.push_back(std::move(entry.event));
    }
    return events;
}

bool EventSignal::end_idle() {
    waited_since_idle_ = false;
    idle_seen_ = count_;
    const bool stop = stop_requested_;
    stop_requested_ = false;
    return stop;
}

} // namespace hostsim
