// The emulated host runtime: a terminal's screen, keyboard, clock, user variables, events and
// transaction-message switch, with a trace of every service call the plug-in makes. The C
// services of hostlib forward to the current Host; tests and tools drive it through this API.
// Host is a facade: each part is a class of its own (screen.h, keyboard.h, clock.h,
// variables.h, events.h, trace.h); Host holds them under one lock and wakes waits on events.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hostsim/api.h"
#include "hostsim/clock.h"
#include "hostsim/events.h"
#include "hostsim/keyboard.h"
#include "hostsim/screen.h"
#include "hostsim/service.h"
#include "hostsim/trace.h"
#include "hostsim/variables.h"

namespace hostsim {

struct HostOptions {
    int rows = 20;
    int columns = 40;
    int first_variable = 1;
    int last_variable = 99;
    ClockMode clock = ClockMode::virtual_time;
    DateTime start{2026, 1, 1, 12, 0, 0, 0};
    // Virtual clock: after this many empty key reads in a row with no timed wait between
    // them and nothing scheduled, the host presses `stall_key` itself so that a wait for a
    // key can never hang a test or a script. 0 turns the guard off.
    int stall_limit = 10000;
    uint16_t stall_key = key_enter;
    // How long a wait of 0 ms lasts when no event comes: 0 (the default) means until the next
    // tick of the host's seconds clock, so that callers polling with zero waits never spin;
    // any other value is that many milliseconds. Events always end a wait at once.
    int zero_wait_ms = 0;
    // A wait of 0 ms returns at once, even with no event, as on a host that simply polls:
    // a caller looping on zero waits then spins. Takes precedence over `zero_wait_ms`.
    bool zero_wait_returns_at_once = false;
    // Real clock: an _IdleManager call with no event wait since the previous one (a loop that
    // polls the keyboard without waiting) lasts up to this long unless an event comes.
    int idle_tick_ms = 20;
};

class HOSTSIM_API Host {
  public:
    explicit Host(HostOptions options = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // The host that the C services of hostlib forward to. When none has been made current,
    // the services create a default one on first use.
    void make_current();
    static Host* current();
    static Host& current_or_default();

    const HostOptions& options() const { return options_; }

    // --- screen ---
    std::string screen_row(int row) const;
    std::vector<std::string> screen_rows() const;
    Cell cell(int row, int column) const;
    void write_screen(int row, int column, std::string_view text, uint8_t attribute = 0);
    int cursor_row() const;
    int cursor_column() const;
    uint16_t cursor_type() const;

    // --- keyboard ---
    void press_key(uint16_t code); // an event
    size_t keys_waiting() const;
    // Answers a key wait as an operator reading a prompt would: when a key read finds none
    // queued and the screen was written since the last key was taken, the hook gives the key
    // to press (or none). Unset, such waits go on until a key arrives or the stall guard ends
    // them. The hook runs with the host locked: it must not call the host.
    using KeyWaitHook = Keyboard::WaitHook;
    void set_key_wait_hook(KeyWaitHook hook);

    // --- user variables ---
    void set_variable(int number, std::string_view text); // an event
    std::optional<std::string> variable(int number) const;
    void set_unreadable(int number, bool unreadable);
    std::map<int, std::string> variables() const;

    // --- clock ---
    ClockMode clock_mode() const { return options_.clock; }
    void set_clock(const DateTime& time);
    // Virtual clock: moves time on, delivering the events that fall due.
    void advance(std::chrono::milliseconds amount);
    DateTime now() const;
    int64_t now_ms() const;
    // Replaces the text of one clock service format (time formats 1 and 2, date formats 1
    // and 3); empty restores the real text. At most 7 characters reach the caller's buffer
    // (11 for time format 1), the most that the callers' buffers are promised.
    void set_clock_text(Service service, int format, std::optional<std::string> text);
    // Moves the clock on by `amount` right after the first call of `service` (the time or
    // the date service) made at or after `from_ms` on the host's clock has read it, so that
    // the caller's next clock reading sees the later time: a reading torn as one that a
    // clock passing midnight between two calls tears. Events that fall due are delivered.
    // Several moves may be pending; each happens once.
    void move_clock_after_reading(Service service, std::chrono::milliseconds amount,
                                  int64_t from_ms = INT64_MIN);

    // --- events ---
    void schedule(int64_t at_ms, HostEvent event);
    void schedule_after(std::chrono::milliseconds delay, HostEvent event);
    void request_stop(); // the next _IdleManager answers non-zero
    size_t events_scheduled() const;

    // --- results ---
    // The next call of `service` returns `result`; with `perform` false it does nothing else
    // (no text written, no key taken).
    void force_result(Service service, int result, bool perform = false);

    // --- state ---
    bool transaction_messages() const;
    int stall_count() const;

    // --- trace ---
    std::vector<TraceEntry> trace() const;
    std::vector<TraceEntry> trace_of(Service service) const;
    size_t count_of(Service service) const;
    void clear_trace();
    void set_trace_enabled(bool enabled);

    // --- the services, as the C layer calls them ---
    int svc_write_text(const char* text, uint16_t length, uint8_t row, uint8_t column,
                       std::optional<uint8_t> attribute, uint16_t reserved);
    int svc_read_cells(char* cells, uint16_t count, uint8_t row, uint8_t column, uint16_t reserved);
    int svc_write_cells(const char* cells, uint16_t count, uint8_t row, uint8_t column,
                        uint16_t reserved);
    int svc_set_cursor_position(uint8_t row, uint8_t column);
    int svc_set_cursor_type(uint16_t type);
    int svc_read_key(uint16_t* key);
    int svc_wait_event(uint32_t milliseconds);
    int svc_idle(uint16_t request);
    int svc_time(uint16_t format, char* text, uint8_t* status);
    int svc_date(uint16_t format, char* text, uint8_t* status);
    int svc_read_variable(int number, char* text);
    int svc_write_variable(int number, const char* text);
    int svc_transaction(uint16_t on);

  private:
    using Lock = std::unique_lock<std::mutex>;
    class Call; // one service call: the lock, a forced result, the trace entry

    void deliver_locked(const HostEvent& event);
    void run_due_locked();
    void wait_for_event_locked(Lock& lock, uint32_t milliseconds);
    int64_t wait_span_locked(uint32_t milliseconds) const;
    void rest_while_polling_locked(Lock& lock);
    int read_clock(Service service, uint16_t format, char* text, uint8_t* status);

    HostOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable wake_; // notified on every event delivered

    Screen screen_;
    Keyboard keyboard_;
    UserVariables variables_;
    std::unique_ptr<Clock> clock_;
    ClockReadings readings_;
    EventSchedule schedule_;
    EventSignal signal_;
    ForcedResults forced_;
    Trace trace_;
    bool transaction_on_ = true;
};

} // namespace hostsim
