// The emulated host runtime: a terminal's screen, keyboard, clock, user variables, events and
// transaction-message switch, with a trace of every service call the plug-in makes. The C
// services of hostlib forward to the current Host; tests and tools drive it through this API.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/hostlib.h"

#if defined(_WIN32)
#define HOSTSIM_API HOSTLIB_API
#else
#define HOSTSIM_API __attribute__((visibility("default")))
#endif

namespace hostsim {

enum class Service : uint8_t {
    VioWrtCharStr,
    VioWrtCharStrAtt,
    VioReadCellStr,
    VioWrtCellStr,
    VioSetCurPos,
    VioSetCurType,
    KbdReadAscii,
    WaitEvent,
    IdleManager,
    RtcGetAsciiTime,
    RtcGetAsciiDate,
    ReadUserVariable,
    WriteUserVariable,
    TransactionMsg,
    HostNote, // not a service: something the host did on its own (e.g. a stall key)
};

HOSTSIM_API const char* service_name(Service service);

// The services answer with hostlib's result codes (HOSTLIB_OK, ... in host/hostlib.h).

constexpr uint16_t key_abort = 256;
constexpr uint16_t key_enter = 13;

struct Cell {
    char character = ' ';
    uint8_t attribute = 0;
    bool operator==(const Cell&) const = default;
};

// A character screen. Writes and reads outside it are clipped; cells read from outside are
// zero bytes.
class HOSTSIM_API Screen {
public:
    Screen(int rows, int columns);

    int rows() const { return rows_; }
    int columns() const { return columns_; }

    // Writes characters; `attribute` empty keeps each cell's attribute.
    void write_text(int row, int column, std::string_view text, std::optional<uint8_t> attribute);
    // Writes `count` cells of 2 bytes each (character, attribute).
    void write_cells(int row, int column, const char* cells, int count);
    // Reads `count` cells into `cells` (2 bytes each).
    void read_cells(int row, int column, char* cells, int count) const;

    Cell cell(int row, int column) const;
    // The characters of a row, a NUL shown as a blank.
    std::string row_text(int row) const;
    void clear();

private:
    bool inside(int row, int column) const;
    int rows_;
    int columns_;
    std::vector<Cell> cells_;
};

// A civil date and time; years 2000 to 2099 (the host's clock texts carry two digits).
struct DateTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    bool operator==(const DateTime&) const = default;
};

// Milliseconds since 2000-01-01 00:00:00 and back.
HOSTSIM_API int64_t to_epoch_ms(const DateTime& time);
HOSTSIM_API DateTime from_epoch_ms(int64_t ms);
// Parses "YYYY-MM-DD HH:MM:SS" (seconds optional); empty when malformed.
HOSTSIM_API std::optional<DateTime> parse_date_time(std::string_view text);
HOSTSIM_API std::string format_date_time(const DateTime& time);

enum class ClockMode { virtual_time, real_time };

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

// One service call as the plug-in made it.
struct HOSTSIM_API TraceEntry {
    Service service;
    std::vector<int64_t> args; // numeric arguments in order (pointers left out)
    std::string text;          // the text argument, or the text handed back
    int result = 0;
    std::string to_string() const;
};

// An event that the host delivers at a time of its clock.
struct KeyEvent {
    uint16_t code;
};
struct VariableEvent {
    int number;
    std::string text;
};
struct StopEvent {};
using HostEvent = std::variant<KeyEvent, VariableEvent, StopEvent>;

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
    // them.
    using KeyWaitHook = std::function<std::optional<uint16_t>()>;
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
    int svc_read_cells(char* cells, uint16_t count, uint8_t row, uint8_t column,
                       uint16_t reserved);
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
    struct Forced {
        int result;
        bool perform;
    };
    struct Scheduled {
        int64_t at;
        uint64_t order;
        HostEvent event;
    };

    int64_t now_ms_locked() const;
    void signal_event_locked();
    void deliver_locked(const HostEvent& event);
    void run_due_locked();
    std::optional<int64_t> next_due_locked() const;
    int64_t wait_span_locked(uint32_t milliseconds, int64_t now) const;
    std::optional<Forced> take_forced_locked(Service service);
    void answer_key_wait_locked();
    void record_locked(Service service, std::vector<int64_t> args, std::string text, int result);
    std::string clock_text_locked(Service service, int format) const;
    void move_clock_after_reading_locked(Service service, int64_t read_at);

    HostOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;

    Screen screen_;
    int cursor_row_ = 0;
    int cursor_column_ = 0;
    uint16_t cursor_type_ = 0;

    std::deque<uint16_t> keys_;
    KeyWaitHook key_wait_hook_;
    bool prompt_pending_ = false; // the screen was written since the last key was taken
    std::map<int, std::string> variables_;
    std::set<int> unreadable_;
    bool transaction_on_ = true;
    bool stop_requested_ = false;

    // Clock: virtual time in ms since 2000; the real clock adds the time since it was set.
    int64_t clock_base_ms_ = 0;
    std::chrono::steady_clock::time_point clock_set_at_;
    std::map<std::pair<int, int>, std::string> clock_texts_;
    struct ClockMove {
        Service service;
        int64_t from_ms;
        int64_t amount_ms;
    };
    std::vector<ClockMove> clock_moves_; // pending, in the order they were asked for

    std::vector<Scheduled> scheduled_;
    uint64_t schedule_order_ = 0;
    uint64_t event_sequence_ = 0; // rises with every event
    uint64_t event_consumed_ = 0; // the sequence that the last wait returned on

    bool waited_since_idle_ = false;
    uint64_t idle_seen_sequence_ = 0; // the event sequence at the last idle call
    int empty_reads_ = 0; // empty key reads since the last timed wait (stall guard)
    int stalls_ = 0;

    std::map<Service, std::deque<Forced>> forced_;

    bool trace_enabled_ = true;
    std::vector<TraceEntry> trace_;
};

} // namespace hostsim
