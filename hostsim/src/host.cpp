// The emulated terminal behind hostlib's services.
#include "hostsim/host.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace hostsim {

namespace {

std::atomic<Host*> current_host{nullptr};

constexpr size_t trace_limit = 200000;

int64_t days_from_civil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t year_of_era = year - era * 400;
    const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

const int64_t epoch_days = days_from_civil(2000, 1, 1);

void two_digits(char* out, int value) {
    out[0] = static_cast<char>('0' + (value / 10) % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

} // namespace

const char* service_name(Service service) {
    switch (service) {
    case Service::VioWrtCharStr: return "_VioWrtCharStr";
    case Service::VioWrtCharStrAtt: return "_VioWrtCharStrAtt";
    case Service::VioReadCellStr: return "_VioReadCellStr";
    case Service::VioWrtCellStr: return "_VioWrtCellStr";
    case Service::VioSetCurPos: return "_VioSetCurPos";
    case Service::VioSetCurType: return "_VioSetCurType";
    case Service::KbdReadAscii: return "_KbdReadAscii";
    case Service::WaitEvent: return "_WaitEvent";
    case Service::IdleManager: return "_IdleManager";
    case Service::RtcGetAsciiTime: return "_RtcGetAsciiTime";
    case Service::RtcGetAsciiDate: return "_RtcGetAsciiDate";
    case Service::ReadUserVariable: return "_ReadUserVariable";
    case Service::WriteUserVariable: return "_WriteUserVariable";
    case Service::TransactionMsg: return "_TransactionMsg";
    case Service::HostNote: return "host";
    }
    return "?";
}

std::string TraceEntry::to_string() const {
    std::string out = service_name(service);
    out += '(';
    bool first = true;
    if (!text.empty() || service == Service::VioWrtCharStr || service == Service::VioWrtCharStrAtt ||
        service == Service::WriteUserVariable) {
        out += '"';
        for (const char c : text) {
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
                out += hex;
            } else {
                out += c;
            }
        }
        out += '"';
        first = false;
    }
    for (const int64_t arg : args) {
        if (!first) {
            out += ", ";
        }
        out += std::to_string(arg);
        first = false;
    }
    out += ") = ";
    out += std::to_string(result);
    return out;
}

// ---------------------------------------------------------------- Screen

Screen::Screen(int rows, int columns)
    : rows_(std::max(rows, 1)), columns_(std::max(columns, 1)),
      cells_(static_cast<size_t>(rows_) * static_cast<size_t>(columns_)) {}

bool Screen::inside(int row, int column) const {
    return row >= 0 && row < rows_ && column >= 0 && column < columns_;
}

void Screen::write_text(int row, int column, std::string_view text,
                        std::optional<uint8_t> attribute) {
    for (size_t i = 0; i < text.size(); ++i) {
        const int c = column + static_cast<int>(i);
        if (!inside(row, c)) {
            continue;
        }
        Cell& cell = cells_[static_cast<size_t>(row * columns_ + c)];
        cell.character = text[i];
        if (attribute) {
            cell.attribute = *attribute;
        }
    }
}

void Screen::write_cells(int row, int column, const char* cells, int count) {
    for (int i = 0; i < count; ++i) {
        if (!inside(row, column + i)) {
            continue;
        }
        Cell& cell = cells_[static_cast<size_t>(row * columns_ + column + i)];
        cell.character = cells[2 * i];
        cell.attribute = static_cast<uint8_t>(cells[2 * i + 1]);
    }
}

void Screen::read_cells(int row, int column, char* cells, int count) const {
    for (int i = 0; i < count; ++i) {
        const Cell cell = inside(row, column + i)
                              ? cells_[static_cast<size_t>(row * columns_ + column + i)]
                              : Cell{'\0', 0};
        cells[2 * i] = cell.character;
        cells[2 * i + 1] = static_cast<char>(cell.attribute);
    }
}

Cell Screen::cell(int row, int column) const {
    return inside(row, column) ? cells_[static_cast<size_t>(row * columns_ + column)] : Cell{'\0', 0};
}

std::string Screen::row_text(int row) const {
    std::string text;
    if (row < 0 || row >= rows_) {
        return text;
    }
    for (int c = 0; c < columns_; ++c) {
        const char ch = cells_[static_cast<size_t>(row * columns_ + c)].character;
        text += ch == '\0' ? ' ' : ch;
    }
    return text;
}

void Screen::clear() { std::fill(cells_.begin(), cells_.end(), Cell{}); }

// ---------------------------------------------------------------- time

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
    const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
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
    if (t.year < 2000 || t.year > 2099 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.hour < 0 || t.hour > 23 || t.minute < 0 || t.minute > 59 || t.second < 0 ||
        t.second > 59) {
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

// ---------------------------------------------------------------- Host

Host::Host(HostOptions options)
    : options_(options), screen_(options.rows, options.columns),
      clock_set_at_(std::chrono::steady_clock::now()) {
    if (options_.clock == ClockMode::real_time) {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
#if defined(_WIN32)
        localtime_s(&local, &now);
#else
        localtime_r(&now, &local);
#endif
        DateTime t{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                   local.tm_hour,        local.tm_min,     std::min(local.tm_sec, 59), 0};
        t.year = std::clamp(t.year, 2000, 2099);
        clock_base_ms_ = to_epoch_ms(t);
    } else {
        clock_base_ms_ = to_epoch_ms(options_.start);
    }
}

Host::~Host() {
    Host* self = this;
    current_host.compare_exchange_strong(self, nullptr);
}

void Host::make_current() { current_host.store(this); }

Host* Host::current() { return current_host.load(); }

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

std::string Host::screen_row(int row) const {
    Lock lock(mutex_);
    return screen_.row_text(row);
}

std::vector<std::string> Host::screen_rows() const {
    Lock lock(mutex_);
    std::vector<std::string> rows;
    for (int r = 0; r < screen_.rows(); ++r) {
        rows.push_back(screen_.row_text(r));
    }
    return rows;
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
    return cursor_row_;
}

int Host::cursor_column() const {
    Lock lock(mutex_);
    return cursor_column_;
}

uint16_t Host::cursor_type() const {
    Lock lock(mutex_);
    return cursor_type_;
}

void Host::press_key(uint16_t code) {
    Lock lock(mutex_);
    deliver_locked(KeyEvent{code});
}

size_t Host::keys_waiting() const {
    Lock lock(mutex_);
    return keys_.size();
}

void Host::set_variable(int number, std::string_view text) {
    Lock lock(mutex_);
    deliver_locked(VariableEvent{number, std::string(text)});
}

std::optional<std::string> Host::variable(int number) const {
    Lock lock(mutex_);
    if (number < options_.first_variable || number > options_.last_variable) {
        return std::nullopt;
    }
    const auto it = variables_.find(number);
    return it == variables_.end() ? std::string() : it->second;
}

void Host::set_unreadable(int number, bool unreadable) {
    Lock lock(mutex_);
    if (unreadable) {
        unreadable_.insert(number);
    } else {
        unreadable_.erase(number);
    }
}

std::map<int, std::string> Host::variables() const {
    Lock lock(mutex_);
    return variables_;
}

void Host::set_clock(const DateTime& time) {
    Lock lock(mutex_);
    clock_base_ms_ = to_epoch_ms(time);
    clock_set_at_ = std::chrono::steady_clock::now();
    run_due_locked();
}

void Host::advance(std::chrono::milliseconds amount) {
    Lock lock(mutex_);
    if (options_.clock == ClockMode::virtual_time && amount.count() > 0) {
        const int64_t target = clock_base_ms_ + amount.count();
        // Deliver the events in the order of their times, each at its own time.
        while (true) {
            const auto due = next_due_locked();
            if (!due || *due > target) {
                break;
            }
            clock_base_ms_ = std::max(clock_base_ms_, *due);
            run_due_locked();
        }
        clock_base_ms_ = target;
    }
}

DateTime Host::now() const {
    Lock lock(mutex_);
    return from_epoch_ms(now_ms_locked());
}

int64_t Host::now_ms() const {
    Lock lock(mutex_);
    return now_ms_locked();
}

void Host::set_clock_text(Service service, int format, std::optional<std::string> text) {
    Lock lock(mutex_);
    const auto key = std::make_pair(static_cast<int>(service), format);
    if (text) {
        clock_texts_[key] = *text;
    } else {
        clock_texts_.erase(key);
    }
}

void Host::move_clock_after_reading(Service service, std::chrono::milliseconds amount,
                                    int64_t from_ms) {
    Lock lock(mutex_);
    clock_moves_.push_back(ClockMove{service, from_ms, amount.count()});
}

void Host::schedule(int64_t at_ms, HostEvent event) {
    Lock lock(mutex_);
    scheduled_.push_back(Scheduled{at_ms, schedule_order_++, std::move(event)});
    run_due_locked();
    wake_.notify_all();
}

void Host::schedule_after(std::chrono::milliseconds delay, HostEvent event) {
    int64_t at = 0;
    {
        Lock lock(mutex_);
        at = now_ms_locked() + delay.count();
    }
    schedule(at, std::move(event));
}

void Host::request_stop() {
    Lock lock(mutex_);
    deliver_locked(StopEvent{});
}

size_t Host::events_scheduled() const {
    Lock lock(mutex_);
    return scheduled_.size();
}

void Host::force_result(Service service, int result, bool perform) {
    Lock lock(mutex_);
    forced_[service].push_back(Forced{result, perform});
}

bool Host::transaction_messages() const {
    Lock lock(mutex_);
    return transaction_on_;
}

int Host::stall_count() const {
    Lock lock(mutex_);
    return stalls_;
}

std::vector<TraceEntry> Host::trace() const {
    Lock lock(mutex_);
    return trace_;
}

std::vector<TraceEntry> Host::trace_of(Service service) const {
    Lock lock(mutex_);
    std::vector<TraceEntry> out;
    for (const TraceEntry& entry : trace_) {
        if (entry.service == service) {
            out.push_back(entry);
        }
    }
    return out;
}

size_t Host::count_of(Service service) const {
    Lock lock(mutex_);
    return static_cast<size_t>(std::count_if(trace_.begin(), trace_.end(),
                                             [&](const TraceEntry& e) { return e.service == service; }));
}

void Host::clear_trace() {
    Lock lock(mutex_);
    trace_.clear();
}

void Host::set_trace_enabled(bool enabled) {
    Lock lock(mutex_);
    trace_enabled_ = enabled;
}

// ---------------------------------------------------------------- internals

int64_t Host::now_ms_locked() const {
    if (options_.clock == ClockMode::real_time) {
        const auto elapsed = std::chrono::steady_clock::now() - clock_set_at_;
        return clock_base_ms_ + std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    }
    return clock_base_ms_;
}

void Host::signal_event_locked() {
    ++event_sequence_;
    empty_reads_ = 0;
    wake_.notify_all();
}

void Host::deliver_locked(const HostEvent& event) {
    if (const auto* key = std::get_if<KeyEvent>(&event)) {
        keys_.push_back(key->code);
    } else if (const auto* var = std::get_if<VariableEvent>(&event)) {
        variables_[var->number] = var->text.substr(0, HOSTLIB_VARIABLE_MAX);
    } else {
        stop_requested_ = true;
    }
    signal_event_locked();
}

std::optional<int64_t> Host::next_due_locked() const {
    std::optional<int64_t> due;
    for (const Scheduled& s : scheduled_) {
        if (!due || s.at < *due) {
            due = s.at;
        }
    }
    return due;
}

void Host::run_due_locked() {
    const int64_t now = now_ms_locked();
    std::vector<Scheduled> due;
    auto split = std::stable_partition(scheduled_.begin(), scheduled_.end(),
                                       [&](const Scheduled& s) { return s.at > now; });
    due.assign(std::make_move_iterator(split), std::make_move_iterator(scheduled_.end()));
    scheduled_.erase(split, scheduled_.end());
    std::sort(due.begin(), due.end(), [](const Scheduled& a, const Scheduled& b) {
        return a.at != b.at ? a.at < b.at : a.order < b.order;
    });
    for (const Scheduled& s : due) {
        deliver_locked(s.event);
    }
}

std::optional<Host::Forced> Host::take_forced_locked(Service service) {
    auto it = forced_.find(service);
    if (it == forced_.end() || it->second.empty()) {
        return std::nullopt;
    }
    const Forced forced = it->second.front();
    it->second.pop_front();
    return forced;
}

void Host::record_locked(Service service, std::vector<int64_t> args, std::string text, int result) {
    if (!trace_enabled_) {
        return;
    }
    if (trace_.size() >= trace_limit) {
        // A runaway loop keeps its first entries and the latest one.
        trace_.back() = TraceEntry{service, std::move(args), std::move(text), result};
        return;
    }
    trace_.push_back(TraceEntry{service, std::move(args), std::move(text), result});
}

std::string Host::clock_text_locked(Service service, int format) const {
    const auto it = clock_texts_.find(std::make_pair(static_cast<int>(service), format));
    if (it != clock_texts_.end()) {
        const size_t limit = (service == Service::RtcGetAsciiTime && format == 1) ? 11 : 7;
        return it->second.substr(0, limit);
    }
    const DateTime t = from_epoch_ms(now_ms_locked());
    char text[12] = {};
    if (service == Service::RtcGetAsciiTime) {
        if (format == 1) {
            const int hour12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
            two_digits(text, hour12);
            two_digits(text + 2, t.minute);
            two_digits(text + 4, t.second);
            text[6] = t.hour < 12 ? 'A' : 'P';
            text[7] = 'M';
        } else {
            two_digits(text, t.hour);
            two_digits(text + 2, t.minute);
            two_digits(text + 4, t.second);
        }
    } else if (format == 3) {
        two_digits(text, t.year % 100);
        two_digits(text + 2, t.month);
        two_digits(text + 4, t.day);
    } else {
        two_digits(text, t.month);
        two_digits(text + 2, t.day);
        two_digits(text + 4, t.year % 100);
    }
    return text;
}

void Host::move_clock_after_reading_locked(Service service, int64_t read_at) {
    const auto move =
        std::find_if(clock_moves_.begin(), clock_moves_.end(), [&](const ClockMove& m) {
            return m.service == service && read_at >= m.from_ms;
        });
    if (move == clock_moves_.end()) {
        return;
    }
    clock_base_ms_ += move->amount_ms;
    clock_moves_.erase(move);
    run_due_locked();
}

// ---------------------------------------------------------------- services

int Host::svc_write_text(const char* text, uint16_t length, uint8_t row, uint8_t column,
                         std::optional<uint8_t> attribute, uint16_t reserved) {
    Lock lock(mutex_);
    const Service service = attribute ? Service::VioWrtCharStrAtt : Service::VioWrtCharStr;
    const auto forced = take_forced_locked(service);
    const std::string_view shown(text == nullptr ? "" : text, text == nullptr ? 0 : length);
    if (!forced || forced->perform) {
        screen_.write_text(row, column, shown, attribute);
        prompt_pending_ = true;
    }
    const int result = forced ? forced->result : HOSTLIB_OK;
    std::vector<int64_t> args{length, row, column};
    if (attribute) {
        args.push_back(*attribute);
    }
    args.push_back(reserved);
    record_locked(service, std::move(args), std::string(shown), result);
    return result;
}

int Host::svc_read_cells(char* cells, uint16_t count, uint8_t row, uint8_t column,
                         uint16_t reserved) {
    Lock lock(mutex_);
    const auto forced = take_forced_locked(Service::VioReadCellStr);
    if (!forced || forced->perform) {
        screen_.read_cells(row, column, cells, count);
    }
    const int result = forced ? forced->result : HOSTLIB_OK;
    record_locked(Service::VioReadCellStr, {count, row, column, reserved}, {}, result);
    return result;
}

int Host::svc_write_cells(const char* cells, uint16_t count, uint8_t row, uint8_t column,
                          uint16_t reserved) {
    Lock lock(mutex_);
    const auto forced = take_forced_locked(Service::VioWrtCellStr);
    if (!forced || forced->perform) {
        screen_.write_cells(row, column, cells, count);
        prompt_pending_ = true;
    }
    // The trace shows the characters of the cells written.
    std::string chars;
    for (int i = 0; i < count; ++i) {
        chars += cells[2 * i];
    }
    const int result = forced ? forced->result : HOSTLIB_OK;
    record_locked(Service::VioWrtCellStr, {count, row, column, reserved}, chars, result);
    return result;
}

int Host::svc_set_cursor_position(uint8_t row, uint8_t column) {
    Lock lock(mutex_);
    const auto forced = take_forced_locked(Service::VioSetCurPos);
    if (!forced || forced->perform) {
        cursor_row_ = row;
        cursor_column_ = column;
    }
    const int result = forced ? forced->result : HOSTLIB_OK;
    record_locked(Service::VioSetCurPos, {row, column}, {}, result);
    return result;
}

int Host::svc_set_cursor_type(uint16_t type) {
    Lock lock(mutex_);
    const auto forced = take_forced_locked(Service::VioSetCurType);
    if (!forced || forced->perform) {
        cursor_type_ = type;
    }
    const int result = forced ? forced->result : HOSTLIB_OK;
    record_locked(Service::VioSetCurType, {type}, {}, result);
    return result;
}

void Host::set_key_wait_hook(KeyWaitHook hook) {
    Lock lock(mutex_);
    key_wait_hook_ = std::move(hook);
}

void Host::answer_key_wait_locked() {
    if (!keys_.empty() || !prompt_pending_ || !key_wait_hook_) {
        return;
    }
    if (const std::optional<uint16_t> key = key_wait_hook_()) {
        keys_.push_back(*key);
        record_locked(Service::HostNote, {*key}, "key wait answered", 0);
    }
}

int Host::svc_read_key(uint16_t* key) {
    Lock lock(mutex_);
    run_due_locked();
    const auto forced = take_forced_locked(Service::KbdReadAscii);
    int result = HOSTLIB_OK;
    int64_t code = -1;
    if (!forced || forced->perform) {
        answer_key_wait_locked();
        if (keys_.empty() && options_.clock == ClockMode::virtual_time && options_.stall_limit > 0 &&
            scheduled_.empty() && ++empty_reads_ >= options_.stall_limit) {
            // Nothing will ever arrive: press the stall key so the wait cannot hang.
            empty_reads_ = 0;
            ++stalls_;
            keys_.push_back(options_.stall_key);
            record_locked(Service::HostNote, {options_.stall_key}, "stall key", 0);
        }
        if (keys_.empty()) {
            result = HOSTLIB_NO_KEY;
        } else {
            code = keys_.front();
            keys_.pop_front();
            prompt_pending_ = false;
            *key = static_cast<uint16_t>(code);
        }
    }
    if (forced) {
        result = forced->result;
    }
    record_locked(Service::KbdReadAscii, code >= 0 ? std::vector<int64_t>{code} : std::vector<int64_t>{},
                  {}, result);
    return result;
}

int64_t Host::wait_span_locked(uint32_t milliseconds, int64_t now) const {
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
    const int64_t into_second = ((now % 1000) + 1000) % 1000;
    return 1000 - into_second;
}

int Host::svc_wait_event(uint32_t milliseconds) {
    Lock lock(mutex_);
    const auto forced = take_forced_locked(Service::WaitEvent);
    const int64_t started = now_ms_locked();
    if (!forced || forced->perform) {
        if (milliseconds > 0) {
            empty_reads_ = 0;
        }
        if (event_sequence_ == event_consumed_) {
            if (options_.clock == ClockMode::virtual_time) {
                const int64_t deadline = started + wait_span_locked(milliseconds, started);
                const auto due = next_due_locked();
                if (due && *due <= deadline) {
                    clock_base_ms_ = std::max(clock_base_ms_, *due);
                    run_due_locked();
                } else {
                    clock_base_ms_ = deadline;
                }
            } else {
                const int64_t wait_ms = wait_span_locked(milliseconds, started);
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
                while (event_sequence_ == event_consumed_) {
                    const auto due = next_due_locked();
                    auto until = deadline;
                    if (due) {
                        const auto due_at = std::chrono::steady_clock::now() +
                                            std::chrono::milliseconds(std::max<int64_t>(*due - now_ms_locked(), 0));
                        until = std::min(until, due_at);
                    }
                    if (wake_.wait_until(lock, until) == std::cv_status::timeout) {
                        run_due_locked();
                        if (std::chrono::steady_clock::now() >= deadline) {
                            break;
                        }
                    }
                }
            }
        }
        event_consumed_ = event_sequence_;
        waited_since_idle_ = true;
    }
    const int result = forced ? forced->result : HOSTLIB_OK;
    record_locked(Service::WaitEvent, {milliseconds}, {}, result);
    return result;
}

int Host::svc_idle(uint16_t request) {
    Lock lock(mutex_);
    run_due_locked();
    const auto forced = take_forced_locked(Service::IdleManager);
    int result = 0;
    if (!forced || forced->perform) {
        // On the real clock, a caller that comes back to its idle processing without having
        // waited for an event (a polling loop) gets the idle time the host would spend
        // anyway: up to one idle tick, ended at once by any event.
        if (options_.clock == ClockMode::real_time && !waited_since_idle_ &&
            event_sequence_ == idle_seen_sequence_ && options_.idle_tick_ms > 0) {
            const auto until = std::chrono::steady_clock::now() +
                               std::chrono::milliseconds(options_.idle_tick_ms);
            wake_.wait_until(lock, until, [&] { return event_sequence_ != idle_seen_sequence_; });
            run_due_locked();
        }
        waited_since_idle_ = false;
        idle_seen_sequence_ = event_sequence_;
        result = stop_requested_ ? 1 : 0;
        stop_requested_ = false;
    }
    if (forced) {
        result = forced->result;
    }
    record_locked(Service::IdleManager, {request}, {}, result);
    return result;
}

int Host::svc_time(uint16_t format, char* text, uint8_t* status) {
    Lock lock(mutex_);
    const auto forced = take_forced_locked(Service::RtcGetAsciiTime);
    const int64_t read_at = now_ms_locked();
    std::string value;
    if (!forced || forced->perform) {
        value = clock_text_locked(Service::RtcGetAsciiTime, format);
        std::memcpy(text, value.c_str(), value.size() + 1);
        if (status != nullptr) {
            *status = 0;
        }
    }
    const int result = forced ? forced->result : HOSTLIB_OK;
    record_locked(Service::RtcGetAsciiTime, {format}, value, result);
    move_clock_after_reading_locked(Service::RtcGetAsciiTime, read_at);
    return result;
}

int Host::svc_date(uint16_t format, char* text, uint8_t* status) {
    Lock lock(mutex_);
    const auto forced = take_forced_locked(Service::RtcGetAsciiDate);
    const int64_t read_at = now_ms_locked();
    std::string value;
    if (!forced || forced->perform) {
        value = clock_text_locked(Service::RtcGetAsciiDate, format);
        std::memcpy(text, value.c_str(), value.size() + 1);
        if (status != nullptr) {
            *status = 0;
        }
    }
    const int result = forced ? forced->result : HOSTLIB_OK;
    record_locked(Service::RtcGetAsciiDate, {format}, value, result);
    move_clock_after_reading_locked(Service::RtcGetAsciiDate, read_at);
    return result;
}

int Host::svc_read_variable(int number, char* text) {
    Lock lock(mutex_);
    const auto forced = take_forced_locked(Service::ReadUserVariable);
    int result = HOSTLIB_OK;
    std::string value;
    if (!forced || forced->perform) {
        if (number < options_.first_variable || number > options_.last_variable) {
            result = HOSTLIB_BAD_NUMBER;
        } else if (unreadable_.count(number) != 0) {
            result = HOSTLIB_UNREADABLE;
        } else {
            const auto it = variables_.find(number);
            value = it == variables_.end() ? std::string() : it->second;
            std::memcpy(text, value.c_str(), value.size() + 1);
        }
    }
    if (forced) {
        result = forced->result;
    }
    record_locked(Service::ReadUserVariable, {number}, value, result);
    return result;
}

int Host::svc_write_variable(int number, const char* text) {
    Lock lock(mutex_);
    const auto forced = take_forced_locked(Service::WriteUserVariable);
    // The host reads at most one character past its limit: enough to know the text is too long.
    size_t length = 0;
    while (length <= HOSTLIB_VARIABLE_MAX && text[length] != '\0') {
        ++length;
    }
    const std::string value(text, length);
    int result = HOSTLIB_OK;
    if (!forced || forced->perform) {
        if (number < options_.first_variable || number > options_.last_variable) {
            result = HOSTLIB_BAD_NUMBER;
        } else if (length > HOSTLIB_VARIABLE_MAX) {
            result = HOSTLIB_WRITE_TOO_LONG;
        } else {
            variables_[number] = value;
        }
    }
    if (forced) {
        result = forced->result;
    }
    record_locked(Service::WriteUserVariable, {number}, value, result);
    return result;
}

int Host::svc_transaction(uint16_t on) {
    Lock lock(mutex_);
    const auto forced = take_forced_locked(Service::TransactionMsg);
    if (!forced || forced->perform) {
        transaction_on_ = on != 0;
    }
    const int result = forced ? forced->result : HOSTLIB_OK;
    record_locked(Service::TransactionMsg, {on}, {}, result);
    return result;
}


} // namespace hostsim
