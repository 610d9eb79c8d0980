// The emulated terminal: the parts under one lock, and what tests and tools do to them.
#include "hostsim/host.h"

#include <atomic>

namespace hostsim {

namespace {

std::atomic<Host*> current_host{nullptr};

} // namespace

Host::Host(HostOptions options)
    : options_(options), screen_(options.rows, options.columns),
      keyboard_(options.stall_limit, options.stall_key),
      variables_(options.first_variable, options.last_variable),
      clock_(make_clock(
          options.clock,
          to_epoch_ms(options.clock == ClockMode::real_time ? local_time_now() : options.start))) {}

Host::~Host() {
    Host* self = this;
    current_host.compare_exchange_strong(self, nullptr);
}

void Host::make_current() {
    current_host.store(this);
}

Host* Host::current() {
    return current_host.load();
}

Host& Host::current_or_default() {
    Host* host = current_host.load();
    if (host == nullptr) {
        // A process that never set up a host gets one default terminal for its lifetime.
        static Host fallback;
        Host* expected = nullptr;
        current_host.compare_exchange_strong(expected, &fallback);
        host = current_host.load();
    }
    return *host;
}

// ---------------------------------------------------------------- screen

std::string Host::screen_row(int row) const {
    Lock lock(mutex_);
    return screen_.row_text(row);
}

std::vector<std::string> Host::screen_rows() const {
    Lock lock(mutex_);
    return screen_.rows_text();
}

Cell Host::cell(int row, int column) const {
    Lock lock(mutex_);
    return screen_.cell(row, column);
}

void Host::write_screen(int row, int column, std::string_view text, uint8_t attribute) {
    Lock lock(mutex_);
    screen_.write_text(row, column, text, attribute);
}

int Host::cursor_row() const {
    Lock lock(mutex_);
    return screen_.cursor_row();
}

int Host::cursor_column() const {
    Lock lock(mutex_);
    return screen_.cursor_column();
}

uint16_t Host::cursor_type() const {
    Lock lock(mutex_);
    return screen_.cursor_type();
}

// ---------------------------------------------------------------- keyboard and variables

void Host::press_key(uint16_t code) {
    Lock lock(mutex_);
    deliver_locked(KeyEvent{code});
}

size_t Host::keys_waiting() const {
    Lock lock(mutex_);
    return keyboard_.waiting();
}

void Host::set_key_wait_hook(KeyWaitHook hook) {
    Lock lock(mutex_);
    keyboard_.set_wait_hook(std::move(hook));
}

void Host::set_variable(int number, std::string_view text) {
    Lock lock(mutex_);
    deliver_locked(VariableEvent{number, std::string(text)});
}

std::optional<std::string> Host::variable(int number) const {
    Lock lock(mutex_);
    return variables_.value(number);
}

void Host::set_unreadable(int number, bool unreadable) {
    Lock lock(mutex_);
    variables_.set_unreadable(number, unreadable);
}

std::map<int, std::string> Host::variables() const {
    Lock lock(mutex_);
    return variables_.all();
}

// ---------------------------------------------------------------- clock

void Host::set_clock(const DateTime& time) {
    Lock lock(mutex_);
    clock_->set(to_epoch_ms(time));
    run_due_locked();
}

void Host::advance(std::chrono::milliseconds amount) {
    Lock lock(mutex_);
    if (clock_->mode() != ClockMode::virtual_time || amount.count() <= 0) {
        return;
    }
    const int64_t target = clock_->now_ms() + amount.count();
    // Deliver the events in the order of their times, each at its own time.
    for (auto due = schedule_.next_due(); due && *due <= target; due = schedule_.next_due()) {
        clock_->set(std::max(clock_->now_ms(), *due));
        run_due_locked();
    }
    clock_->set(target);
}

DateTime Host::now() const {
    Lock lock(mutex_);
    return from_epoch_ms(clock_->now_ms());
}

int64_t Host::now_ms() const {
    Lock lock(mutex_);
    return clock_->now_ms();
}

void Host::set_clock_text(Service service, int format, std::optional<std::string> text) {
    Lock lock(mutex_);
    readings_.set_text(service, format, std::move(text));
}

void Host::move_clock_after_reading(Service service, std::chrono::milliseconds amount,
                                    int64_t from_ms) {
    Lock lock(mutex_);
    readings_.add_move(service, from_ms, amount.count());
}

// ---------------------------------------------------------------- events

void Host::schedule(int64_t at_ms, HostEvent event) {
    Lock lock(mutex_);
    schedule_.add(at_ms, std::move(event));
    run_due_locked();
    // A wait on the real clock takes its end from the next event due: let it look again.
    wake_.notify_all();
}

void Host::schedule_after(std::chrono::milliseconds delay, HostEvent event) {
    int64_t at = 0;
    {
        Lock lock(mutex_);
        at = clock_->now_ms() + delay.count();
    }
    schedule(at, std::move(event));
}

void Host::request_stop() {
    Lock lock(mutex_);
    deliver_locked(StopEvent{});
}

size_t Host::events_scheduled() const {
    Lock lock(mutex_);
    return schedule_.size();
}

void Host::deliver_locked(const HostEvent& event) {
    if (const auto* key = std::get_if<KeyEvent>(&event)) {
        keyboard_.press(key->code);
    } else if (const auto* var = std::get_if<VariableEvent>(&event)) {
        variables_.assign(var->number, var->text);
    } else {
        signal_.request_stop();
    }
    signal_.signal();
    keyboard_.reset_empty_reads();
    wake_.notify_all();
}

void Host::run_due_locked() {
    for (const HostEvent& event : schedule_.take_due(clock_->now_ms())) {
        deliver_locked(event);
    }
}

// ---------------------------------------------------------------- results, state, trace

void Host::force_result(Service service, int result, bool perform) {
    Lock lock(mutex_);
    forced_.add(service, Forced{result, perform});
}

bool Host::transaction_messages() const {
    Lock lock(mutex_);
    return transaction_on_;
}

int Host::stall_count() const {
    Lock lock(mutex_);
    return keyboard_.stalls();
}

std::vector<TraceEntry> Host::trace() const {
    Lock lock(mutex_);
    return trace_.entries();
}

std::vector<TraceEntry> Host::trace_of(Service service) const {
    Lock lock(mutex_);
    return trace_.of(service);
}

size_t Host::count_of(Service service) const {
    Lock lock(mutex_);
    return trace_.count_of(service);
}

void Host::clear_trace() {
    Lock lock(mutex_);
    trace_.clear();
}

void Host::set_trace_enabled(bool enabled) {
    Lock lock(mutex_);
    trace_.set_enabled(enabled);
}

} // namespace hostsim
