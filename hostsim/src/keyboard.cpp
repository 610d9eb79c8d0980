// The terminal's keyboard.
#include "hostsim/keyboard.h"

namespace hostsim {

Keyboard::Keyboard(int stall_limit, uint16_t stall_key)
    : stall_limit_(stall_limit), stall_key_(stall_key) {}

void Keyboard::press(uint16_t code) {
    keys_.push_back(code);
    empty_reads_ = 0;
}

Keyboard::Read Keyboard::read(bool nothing_can_come, bool key_scheduled) {
    Read read;
    if (keys_.empty() && prompt_pending_ && hook_ && !key_scheduled) {
        read.answered = hook_();
        if (read.answered) {
            keys_.push_back(*read.answered);
        }
    }
    if (keys_.empty() && nothing_can_come && stall_limit_ > 0 && ++empty_reads_ >= stall_limit_) {
        // Nothing will ever arrive: press the stall key so the wait cannot hang.
        empty_reads_ = 0;
        ++stalls_;
        read.stalled = stall_key_;
        keys_.push_back(stall_key_);
    }
    if (!keys_.empty()) {
        read.key = keys_.front();
        keys_.pop_front();
        prompt_pending_ = false;
    }
    return read;
}

} // namespace hostsim
