// The terminal's keyboard: the keys waiting to be read, the answer to a prompt's key wait, and
// the stall guard that keeps a wait for a key from hanging when nothing can ever arrive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

#include "hostsim/api.h"

namespace hostsim {

constexpr uint16_t key_abort = 256;
constexpr uint16_t key_enter = 13;

class HOSTSIM_API Keyboard {
  public:
    // Gives the key to press when a key read finds none queued, no key is scheduled to come,
    // and the screen was written since the last key was taken (or none).
    using WaitHook = std::function<std::optional<uint16_t>()>;

    // After `stall_limit` empty reads in a row that nothing could have answered, the
    // keyboard presses `stall_key` itself; 0 turns the guard off.
    Keyboard(int stall_limit, uint16_t stall_key);

    void press(uint16_t code);
    size_t waiting() const { return keys_.size(); }

    // The screen was written: a key read now answers a prompt.
    void screen_written() { prompt_pending_ = true; }
    void set_wait_hook(WaitHook hook) { hook_ = std::move(hook); }
    // An event came or the caller waited for time to pass: the run of empty reads ends.
    void reset_empty_reads() { empty_reads_ = 0; }

    // One key read. `nothing_can_come` says that no event can arrive by itself (a virtual
    // clock with nothing scheduled), so that an empty read counts toward the stall guard;
    // `key_scheduled` that a key will come at a time of the clock, so that the wait hook
    // leaves the wait to it.
    struct Read {
        std::optional<uint16_t> key;      // the key taken
        std::optional<uint16_t> answered; // pressed by the wait hook for this read
        std::optional<uint16_t> stalled;  // pressed by the stall guard for this read
    };
    Read read(bool nothing_can_come, bool key_scheduled = false);

    int stalls() const { return stalls_; }

  private:
    std::deque<uint16_t> keys_;
    WaitHook hook_;
    bool prompt_pending_ = false;
    int stall_limit_;
    uint16_t stall_key_;
    int empty_reads_ = 0;
    int stalls_ = 0;
};

} // namespace hostsim
