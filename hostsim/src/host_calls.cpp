// The services as the plug-in calls them. Every call runs under the host's lock, takes the
// result forced on it, if any, and ends with its trace entry: the Call class does that once.
#include <algorithm>
#include <cstring>

#include "hostsim/host.h"

namespace hostsim {

class Host::Call {
  public:
    Call(Host& host, Service service)
        : host_(host), lock_(host.mutex_), service_(service), forced_(host.forced_.take(service)) {}

    // False when a forced result says the call does nothing but answer.
    bool perform() const { return !forced_ || forced_->perform; }
    Lock& lock() { return lock_; }

    // The call's answer (the forced result when there is one), recorded in the trace.
    int finish(int result, std::vector<int64_t> args, std::string text = {}) {
        if (forced_) {
            result = forced_->result;
        }
        host_.trace_.record(TraceEntry{service_, std::move(args), std::move(text), result});
        return result;
    }

  private:
    Host& host_;
    Lock lock_;
    Service service_;
    std::optional<Forced> forced_;
};

// ---------------------------------------------------------------- screen

int Host::svc_write_text(const char* text, uint16_t length, uint8_t row, uint8_t column,
                         std::optional<uint8_t> attribute, uint16_t reserved) {
    Call call(*this, attribute ? Service::VioWrtCharStrAtt : Service::VioWrtCharStr);
    const std::string_view shown(text == nullptr ? "" : text, text == nullptr ? 0 : length);
    if (call.perform()) {
        screen_.write_text(row, column, shown, attribute);
        keyboard_.screen_written();
    }
    std::vector<int64_t> args{length, row, column};
    if (attribute) {
        args.push_back(*attribute);
    }
    args.push_back(reserved);
    return call.finish(HOSTLIB_OK, std::move(args), std::string(shown));
}

int Host::svc_read_cells(char* cells, uint16_t count, uint8_t row, uint8_t column,
                         uint16_t reserved) {
    Call call(*this, Service::VioReadCellStr);
    if (call.perform()) {
        screen_.read_cells(row, column, cells, count);
    }
    return call.finish(HOSTLIB_OK, {count, row, column, reserved});
}

int Host::svc_write_cells(const char* cells, uint16_t count, uint8_t row, uint8_t column,
                          uint16_t reserved) {
    Call call(*this, Service::VioWrtCellStr);
    if (call.perform()) {
        screen_.write_cells(row, column, cells, count);
        keyboard_.screen_written();
    }
    // The trace shows the characters of the cells written.
    std::string chars;
    for (int i = 0; i < count; ++i) {
        chars += cells[2 * i];
    }
    return call.finish(HOSTLIB_OK, {count, row, column, reserved}, chars);
}

int Host::svc_set_cursor_position(uint8_t row, uint8_t column) {
    Call call(*this, Service::VioSetCurPos);
    if (call.perform()) {
        screen_.set_cursor(row, column);
    }
    return call.finish(HOSTLIB_OK, {row, column});
}

int Host::svc_set_cursor_type(uint16_t type) {
    Call call(*this, Service::VioSetCurType);
    if (call.perform()) {
        screen_.set_cursor_type(type);
    }
    return call.finish(HOSTLIB_OK, {type});
}

// ---------------------------------------------------------------- keyboard and events

int Host::svc_read_key(uint16_t* key) {
    Call call(*this, Service::KbdReadAscii);
    run_due_locked();
    if (!call.perform()) {
        return call.finish(HOSTLIB_OK, {});
    }
    const bool nothing_can_come = clock_->mode() == ClockMode::virtual_time && schedule_.empty();
    const Keyboard::Read read = keyboard_.read(nothing_can_come, schedule_.has_key());
    if (read.answered) {
        trace_.record(TraceEntry{Service::HostNote, {*read.answered}, "key wait answered", 0});
    }
    if (read.stalled) {
        trace_.record(TraceEntry{Service::HostNote, {*read.stalled}, "stall key", 0});
    }
    if (!read.key) {
        return call.finish(HOSTLIB_NO_KEY, {});
    }
    *key = *read.key;
    return call.finish(HOSTLIB_OK, {*read.key});
}

int64_t Host::wait_span_locked(uint32_t milliseconds) const {
    if (milliseconds > 0) {
        return milliseconds;
    }
    if (options_.zero_wait_returns_at_once) {
        return 0;
    }
    if (options_.zero_wait_ms > 0) {
        return options_.zero_wait_ms;
    }
    // A wait of 0 lasts until the next tick of the seconds clock: a caller that polls with
    // zero waits neither spins nor misses the seconds moving on.
    const int64_t now = clock_->now_ms();
    return 1000 - ((now % 1000) + 1000) % 1000;
}

void Host::wait_for_event_locked(Lock& lock, uint32_t milliseconds) {
    const int64_t deadline = clock_->steady_ms() + wait_span_locked(milliseconds);
    const auto woken = [this] { return signal_.came_since_wait(); };
    while (!woken()) {
        int64_t until = deadline;
        if (const auto due = schedule_.next_due()) {
            const int64_t due_in = std::max<int64_t>(*due - clock_->now_ms(), 0);
            until = std::min(until, clock_->steady_ms() + due_in);
        }
        clock_->pass_until(lock, wake_, until, woken);
        run_due_locked();
        if (clock_->steady_ms() >= deadline) {
            break;
        }
    }
}

int Host::svc_wait_event(uint32_t milliseconds) {
    Call call(*this, Service::WaitEvent);
    if (call.perform()) {
        if (milliseconds > 0) {
            keyboard_.reset_empty_reads();
        }
        wait_for_event_locked(call.lock(), milliseconds);
        signal_.end_wait();
    }
    return call.finish(HOSTLIB_OK, {milliseconds});
}

void Host::rest_while_polling_locked(Lock& lock) {
    // A caller that comes back to its idle processing without having waited for an event (a
    // polling loop, such as the self-test's) gets the idle time the host would spend anyway:
    // up to one idle tick, ended at once by any event. On the virtual clock that time passes
    // only while an event is scheduled, up to its time at most: the loop then meets the event
    // as a wait would, and a loop with nothing to meet costs no time.
    if (!signal_.polling() || options_.idle_tick_ms <= 0) {
        return;
    }
    if (clock_->mode() == ClockMode::virtual_time) {
        if (const auto due = schedule_.next_due()) {
            clock_->set(std::max(clock_->now_ms(),
                                 std::min(*due, clock_->now_ms() + options_.idle_tick_ms)));
            run_due_locked();
        }
        return;
    }
    clock_->pass_until(lock, wake_, clock_->steady_ms() + options_.idle_tick_ms,
                       [this] { return signal_.came_since_idle(); });
    run_due_locked();
}

int Host::svc_idle(uint16_t request) {
    Call call(*this, Service::IdleManager);
    run_due_locked();
    int result = 0;
    if (call.perform()) {
        rest_while_polling_locked(call.lock());
        result = signal_.end_idle() ? 1 : 0;
    }
    return call.finish(result, {request});
}

// ---------------------------------------------------------------- clock

int Host::read_clock(Service service, uint16_t format, char* text, uint8_t* status) {
    Call call(*this, service);
    const int64_t read_at = clock_->now_ms();
    std::string value;
    if (call.perform()) {
        value = readings_.text(service, format, from_epoch_ms(read_at));
        std::memcpy(text, value.c_str(), value.size() + 1);
        if (status != nullptr) {
            *status = 0;
        }
    }
    const int result = call.finish(HOSTLIB_OK, {format}, value);
    if (const auto move = readings_.take_move(service, read_at)) {
        clock_->shift(*move);
        run_due_locked();
    }
    return result;
}

int Host::svc_time(uint16_t format, char* text, uint8_t* status) {
    return read_clock(Service::RtcGetAsciiTime, format, text, status);
}

int Host::svc_date(uint16_t format, char* text, uint8_t* status) {
    return read_clock(Service::RtcGetAsciiDate, format, text, status);
}

// ---------------------------------------------------------------- variables and switch

int Host::svc_read_variable(int number, char* text) {
    Call call(*this, Service::ReadUserVariable);
    int result = HOSTLIB_OK;
    std::string value;
    if (call.perform()) {
        result = variables_.read(number, value);
        if (result == HOSTLIB_OK) {
            std::memcpy(text, value.c_str(), value.size() + 1);
        }
    }
    return call.finish(result, {number}, value);
}

int Host::svc_write_variable(int number, const char* text) {
    Call call(*this, Service::WriteUserVariable);
    // The host reads at most one character past its limit: enough to know the text is too long.
    size_t length = 0;
    while (length <= HOSTLIB_VARIABLE_MAX && text[length] != '\0') {
        ++length;
    }
    const std::string value(text, length);
    const int result = call.perform() ? variables_.write(number, value) : HOSTLIB_OK;
    return call.finish(result, {number}, value);
}

int Host::svc_transaction(uint16_t on) {
    Call call(*this, Service::TransactionMsg);
    if (call.perform()) {
        transaction_on_ = on != 0;
    }
    return call.finish(HOSTLIB_OK, {on});
}

} // namespace hostsim
