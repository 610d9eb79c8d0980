// The terminal's clock: civil dates and times, a virtual clock that moves only when told (tests
// and scripts) and a real one that follows the wall clock (interactive use), and the texts of
// the time and date services with their replacements and moves between readings.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hostsim/api.h"
#include "hostsim/service.h"

namespace hostsim {

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
// The machine's local time now, its year kept within 2000 to 2099.
HOSTSIM_API DateTime local_time_now();

enum class ClockMode { virtual_time, real_time };

// The host's clock, read in milliseconds since 2000. The caller serialises access.
class HOSTSIM_API Clock {
  public:
    using Lock = std::unique_lock<std::mutex>;
    virtual ~Clock() = default;

    virtual ClockMode mode() const = 0;
    virtual int64_t now_ms() const = 0;
    virtual void set(int64_t ms) = 0;
    // Moves the time on by `amount_ms` (back when negative).
    virtual void shift(int64_t amount_ms) = 0;
    // A count of milliseconds that only time passing moves: the deadlines of waits are kept in
    // it, so that setting the clock does not stretch or cut a wait on the real clock. The
    // virtual clock's own time serves, since only waits and the caller move it.
    virtual int64_t steady_ms() const = 0;
    // Lets time pass until steady_ms() reaches `until`, or, on the real clock, until `woken`
    // holds when `wake` is notified. The caller holds `lock`, which the real clock releases
    // while it waits; the virtual clock simply jumps forward.
    virtual void pass_until(Lock& lock, std::condition_variable& wake, int64_t until,
                            const std::function<bool()>& woken) = 0;
};

class HOSTSIM_API VirtualClock final : public Clock {
  public:
    explicit VirtualClock(int64_t start_ms) : ms_(start_ms) {}
    ClockMode mode() const override { return ClockMode::virtual_time; }
    int64_t now_ms() const override { return ms_; }
    void set(int64_t ms) override { ms_ = ms; }
    void shift(int64_t amount_ms) override { ms_ += amount_ms; }
    int64_t steady_ms() const override { return ms_; }
    void pass_until(Lock& lock, std::condition_variable& wake, int64_t until,
                    const std::function<bool()>& woken) override;

  private:
    int64_t ms_;
};

class HOSTSIM_API RealClock final : public Clock {
  public:
    explicit RealClock(int64_t start_ms);
    ClockMode mode() const override { return ClockMode::real_time; }
    int64_t now_ms() const override { return base_ms_ + steady_ms() - set_at_ms_; }
    void set(int64_t ms) override;
    void shift(int64_t amount_ms) override { base_ms_ += amount_ms; }
    int64_t steady_ms() const override;
    void pass_until(Lock& lock, std::condition_variable& wake, int64_t until,
                    const std::function<bool()>& woken) override;

  private:
    int64_t base_ms_;   // the time when the clock was set
    int64_t set_at_ms_; // steady_ms() then
};

HOSTSIM_API std::unique_ptr<Clock> make_clock(ClockMode mode, int64_t start_ms);

// The text that the time service (formats 1 and 2) or the date service (formats 1 and 3)
// gives for `time`.
HOSTSIM_API std::string clock_text(Service service, int format, const DateTime& time);

// What the time and date services answer: the clock's own texts unless replaced, and moves of
// the clock asked for right after a reading.
class HOSTSIM_API ClockReadings {
  public:
    // The text of `service`'s `format` at `time`. A replacement gives at most 7 characters
    // (11 for time format 1), the most that the callers' buffers are promised.
    std::string text(Service service, int format, const DateTime& time) const;
    // Replaces the text of one format; empty restores the clock's own text.
    void set_text(Service service, int format, std::optional<std::string> text);

    // Asks for a move of `amount_ms` after the first reading by `service` made at or after
    // `from_ms`. Several moves may be pending; each happens once.
    void add_move(Service service, int64_t from_ms, int64_t amount_ms);
    // The amount to move the clock by after a reading by `service` made at `read_at`, if any.
    std::optional<int64_t> take_move(Service service, int64_t read_at);

  private:
    struct Move {
        Service service;
        int64_t from_ms;
        int64_t amount_ms;
    };
    std::map<std::pair<Service, int>, std::string> texts_;
    std::vector<Move> moves_; // pending, in the order they were asked for
};

} // namespace hostsim
