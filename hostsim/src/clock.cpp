// The terminal's clock and the texts of its time and date services.
#include "hostsim/clock.h"

#include "host/hostlib.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace hostsim {

namespace {

int64_t days_from_civil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era =
        year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

const int64_t epoch_days = days_from_civil(2000, 1, 1);

void two_digits(char* out, int value) {
    out[0] = static_cast<char>('0' + (value / 10) % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

// Three two-digit fields side by side, as every clock text starts.
std::string six_digits(int first, int second, int third) {
    char text[7] = {};
    two_digits(text, first);
    two_digits(text + 2, second);
    two_digits(text + 4, third);
    return text;
}

} // namespace

int64_t to_epoch_ms(const DateTime& t) {
    const int64_t days = days_from_civil(t.year, t.month, t.day) - epoch_days;
    return ((days * 24 + t.hour) * 60 + t.minute) * 60000 + t.second * 1000 + t.millisecond;
}

DateTime from_epoch_ms(int64_t ms) {
    int64_t days = ms / 86400000;
    int64_t rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    // Civil date from a day count (days since 1970 after the shift), the inverse of the above.
    const int64_t z = days + epoch_days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t day_of_era = z - era * 146097;
    const int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t mp = (5 * day_of_year + 2) / 153;
    DateTime t;
    t.day = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(year_of_era + era * 400 + (t.month <= 2 ? 1 : 0));
    t.hour = static_cast<int>(rest / 3600000);
    t.minute = static_cast<int>(rest / 60000 % 60);
    t.second = static_cast<int>(rest / 1000 % 60);
    t.millisecond = static_cast<int>(rest % 1000);
    return t;
}

std::optional<DateTime> parse_date_time(std::string_view text) {
    DateTime t;
    char tail = 0;
    const std::string s(text);
    const int n = std::sscanf(s.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.year, &t.month, &t.day,
                              &t.hour, &t.minute, &t.second, &tail);
    if (n != 5 && n != 6) {
        return std::nullopt;
    }
    if (n == 5) {
        t.second = 0;
    }
    if (t.year < 2000 || t.year > 2099 || t.month < 1 || t.month > 12 || t.day < 1 || t.hour < 0 ||
        t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59) {
        return std::nullopt;
    }
    // Reject days that the month does not have (e.g. 2026-02-30).
    if (from_epoch_ms(to_epoch_ms(t)).day != t.day) {
        return std::nullopt;
    }
    return t;
}

std::string format_date_time(const DateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

DateTime local_time_now() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    DateTime t{local.tm_year + 1900,
               local.tm_mon + 1,
               local.tm_mday,
               local.tm_hour,
               local.tm_min,
               std::min(local.tm_sec, 59),
               0};
    t.year = std::clamp(t.year, 2000, 2099);
    return t;
}

// ---------------------------------------------------------------- clocks

void VirtualClock::pass_until(Lock& /*lock*/, std::condition_variable& /*wake*/, int64_t until,
                              const std::function<bool()>& /*woken*/) {
    ms_ = std::max(ms_, until);
}

RealClock::RealClock(int64_t start_ms) : base_ms_(start_ms), set_at_ms_(steady_ms()) {}

void RealClock::set(int64_t ms) {
    base_ms_ = ms;
    set_at_ms_ = steady_ms();
}

int64_t RealClock::steady_ms() const {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration_cast<std::chrono::milliseconds>(since).count();
}

void RealClock::pass_until(Lock& lock, std::condition_variable& wake, int64_t until,
                           const std::function<bool()>& woken) {
    const int64_t left = until - steady_ms();
    if (left <= 0) {
        return;
    }
    wake.wait_until(lock, std::chrono::steady_clock::now() + std::chrono::milliseconds(left),
                    woken);
}

std::unique_ptr<Clock> make_clock(ClockMode mode, int64_t start_ms) {
    if (mode == ClockMode::real_time) {
        return std::make_unique<RealClock>(start_ms);
    }
    return std::make_unique<VirtualClock>(start_ms);
}

// ---------------------------------------------------------------- texts

std::string clock_text(Service service, int format, const DateTime& t) {
    if (service == Service::RtcGetAsciiTime) {
        if (format == HOSTLIB_TIME_12) {
            const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
            return six_digits(hour12, t.minute, t.second) + (t.hour < 12 ? "AM" : "PM");
        }
        return six_digits(t.hour, t.minute, t.second);
    }
    if (format == HOSTLIB_DATE_YMD) {
        return six_digits(t.year % 100, t.month, t.day);
    }
    return six_digits(t.month, t.day, t.year % 100);
}

std::string ClockReadings::text(Service service, int format, const DateTime& time) const {
    const auto it = texts_.find({service, format});
    if (it == texts_.end()) {
        return clock_text(service, format, time);
    }
    const bool twelve_hour = service == Service::RtcGetAsciiTime && format == HOSTLIB_TIME_12;
    const size_t limit = twelve_hour ? 11 : 7;
    return it->second.substr(0, limit);
}

void ClockReadings::set_text(Service service, int format, std::optional<std::string> text) {
    if (text) {
        texts_[{service, format}] = std::move(*text);
    } else {
        texts_.erase({service, format});
    }
}

void ClockReadings::add_move(Service service, int64_t from_ms, int64_t amount_ms) {
    moves_.push_back(Move{service, from_ms, amount_ms});
}

std::optional<int64_t> ClockReadings::take_move(Service service, int64_t read_at) {
    const auto move = std::find_if(moves_.begin(), moves_.end(), [&](const Move& m) {
        return m.service == service && read_at >= m.from_ms;
    });
    if (move == moves_.end()) {
        return std::nullopt;
    }
    const int64_t amount = move->amount_ms;
    moves_.erase(move);
    return amount;
}

} // namespace hostsim
