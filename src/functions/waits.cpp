// V_DELAY and WAIT_UV: hold the application for a number of 20 ms passes, or until a user
// variable holds text, each ending early on the abort key or when the host's idle processing
// asks to stop. Both block only in the host's event wait. clock_seconds turns the host's clock
// texts into the count of seconds that WAIT_UV measures its timeout with.
#include "functions/waits.h"

#include "entry/checks.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "functions/variables.h"
#include "host/hostlib.h"
#include "host/runtime.h"

namespace opkit {

const int days_before_month[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

namespace {

constexpr uint16_t abort_key = 256;
constexpr uint32_t delay_pass_ms = v_delay::pass_ms;
constexpr int32_t delay_units_per_count = v_delay::units_per_count;
constexpr int32_t delay_units_per_pass = v_delay::units_per_pass;
constexpr int clock_buffer_size = 8;
constexpr int clock_digits = 6;
// A fixed offset that every count carries; it drops out of each difference.
constexpr int64_t count_offset_minutes = 22541824;

constexpr int wait_timed_out = 0;
constexpr int wait_text_arrived = 1;
constexpr int wait_stopped = 2;

// Reads a key if one is waiting; true for the abort key. Any other key is consumed.
bool abort_key_read() {
    uint16_t key = 0;
    return _KbdReadAscii(&key) == HOSTLIB_OK && key == abort_key;
}

// The value of the last two of the first `length` characters of `text` (fewer when there are
// fewer), read like atoi; `length` then leaves them out.
int32_t take_last_pair(const char* text, int& length) {
    const int start = length >= 2 ? length - 2 : 0;
    const int32_t value = short_text_to_int(text + start, length - start);
    length = start;
    return value;
}

// The three fields of a clock text, taken from its end: the last two characters, the two
// before them, and what is left (hours, minutes, seconds; year, month, day).
struct ClockFields {
    int32_t first;
    int32_t middle;
    int32_t last;
};

// Fetches a clock text into a zeroed buffer, keeps at most its first six characters, so that
// a short or missing text is parsed from what is there and never from stale bytes, and reads
// its fields. The host's usual text, six digits, is read at once; any other text a pair at a
// time from its end, each pair as atoi reads it (for six digits both give the same values).
ClockFields read_clock_fields(bool date, uint8_t* status) {
    char text[clock_buffer_size];
    for (int i = 0; i < clock_buffer_size; ++i) {
        text[i] = '\0';
    }
    if (date) {
        _RtcGetAsciiDate(HOSTLIB_DATE_YMD, text, status);
    } else {
        _RtcGetAsciiTime(HOSTLIB_TIME_24, text, status);
    }
    text[clock_digits] = '\0';
    int digits[clock_digits];
    int length = 0;
    for (; length < clock_digits && text[length] != '\0'; ++length) {
        digits[length] = text[length] - '0';
    }
    bool all_digits = length == clock_digits;
    for (int i = 0; i < length; ++i) {
        all_digits = all_digits && digits[i] >= 0 && digits[i] <= 9;
    }
    if (all_digits) {
        return {digits[0] * 10 + digits[1], digits[2] * 10 + digits[3], digits[4] * 10 + digits[5]};
    }
    ClockFields fields{};
    fields.last = take_last_pair(text, length);
    fields.middle = take_last_pair(text, length);
    fields.first = short_text_to_int(text, length);
    return fields;
}

bool is_leap_year(int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// Leap years among 0 .. year - 1 (year 0 is one).
int64_t leap_years_before(int64_t year) {
    return (year + 3) / 4 - (year + 99) / 100 + (year + 399) / 400;
}

// One reading of the time of day: hours, minutes and seconds from the end of the text.
struct TimeOfDay {
    int64_t hours;
    int64_t minutes;
    int64_t seconds;
    int64_t seconds_into_day() const { return (hours * 60 + minutes) * 60 + seconds; }
};

TimeOfDay read_time_of_day(uint8_t* status) {
    const ClockFields fields = read_clock_fields(false, status);
    return {fields.first, fields.middle, fields.last};
}

// The day number of the host's date: days since the start of year 00, that day included.
int64_t read_day_number(uint8_t* status) {
    const ClockFields fields = read_clock_fields(true, status);
    const int64_t day = fields.last;
    int64_t month = fields.middle;
    int64_t year = fields.first;

    // A host text outside the calendar still gives a count: the month is kept within the
    // table, and a year below 00 counts as 00.
    if (month < 1) {
        month = 1;
    } else if (month > 12) {
        month = 12;
    }
    if (year < 0) {
        year = 0;
    }
    const int64_t leap_day = (month > 2 && is_leap_year(year)) ? 1 : 0;
    return 365 * year + leap_years_before(year) + days_before_month[month - 1] + leap_day + day;
}

} // namespace

uint32_t clock_seconds() {
    uint8_t status = 0;
    // The time and the date come from two host calls, and the clock may pass midnight
    // between them: the date may then belong to the day after the time. A second reading of
    // the time shows whether that can have happened. When it is earlier than the first,
    // midnight passed: the date is read again and goes with the second time, both of the
    // new day. Otherwise the first time and the date belong to one day.
    TimeOfDay time = read_time_of_day(&status);
    int64_t day_number = read_day_number(&status);
    const TimeOfDay again = read_time_of_day(&status);
    if (again.seconds_into_day() < time.seconds_into_day()) {
        time = again;
        day_number = read_day_number(&status);
    }
    const int64_t count =
        ((day_number * 24 + time.hours) * 60 + time.minutes + count_offset_minutes) * 60 +
        time.seconds;
    return static_cast<uint32_t>(static_cast<uint64_t>(count));
}

void delay_with_key_abort(int32_t n) {
    int32_t passes = n / delay_units_per_pass;
    if (passes < 1) {
        passes = 1;
    }
    for (int32_t made = 1;; ++made) {
        _WaitEvent(delay_pass_ms);
        const bool stop = _IdleManager(0) != 0;
        // The key is read in every pass, also in one that ends for another reason.
        const bool aborted = abort_key_read();
        if (stop || aborted || made >= passes) {
            return;
        }
    }
}

static_assert(made_in_row_order(v_delay::checks, v_delay::length));
static_assert(made_in_row_order(wait_uv::checks, wait_uv::length, wait_uv::variable_read));

int cfr_v_delay(const char* record) {
    if (length_rejected<v_delay::length>(record)) {
        return 0;
    }
    // The count fills the record from column 10 on; a record too short to reach column 10
    // has no count at all, which reads as 0.
    const int32_t width = present_width(v_delay::count, record_length);
    delay_with_key_abort(delay_units_per_count *
                         record_columns_int(record, v_delay::count.first, static_cast<int>(width)));
    return 0;
}

int wait_for_user_variable(int32_t number, uint16_t timeout) {
    // The text that the caller's check read does not count.
    scratch_text[0] = '\0';
    const uint32_t start = clock_seconds();
    uint32_t elapsed = 0;
    bool first_wait = true;
    while (true) {
        // Sleep for what is left of the timeout; the host ends the wait early on an event.
        // Once the whole seconds of the timeout have passed, the count still has to move past
        // it, which takes up to a second: those waits last one pass of 20 ms, so that a host
        // whose wait of 0 ms returns at once is not polled in a tight loop. Only the first
        // wait may be a wait of 0 (a timeout of 0).
        uint32_t wait_ms = 1000U * (timeout - elapsed);
        if (wait_ms == 0 && !first_wait) {
            wait_ms = delay_pass_ms;
        }
        first_wait = false;
        _WaitEvent(wait_ms);
        if (_IdleManager(0) != 0) {
            return wait_stopped;
        }
        if (abort_key_read()) {
            return wait_stopped;
        }
        if (read_variable(number, scratch_text, scratch_size) && scratch_text[0] != '\0') {
            return wait_text_arrived;
        }
        elapsed = clock_seconds() - start;
        if (elapsed > timeout) {
            return wait_timed_out;
        }
    }
}

int cfr_wait_uv(const char* record) {
    int32_t number = 0;
    if (length_rejected<wait_uv::length>(record) ||
        read_rejected<wait_uv::variable_read>(record, scratch_text, scratch_size, number)) {
        return 0;
    }
    // Only the low 16 bits count: a negative field wraps (-1 waits 65535 seconds).
    const uint16_t timeout = static_cast<uint16_t>(field_value<wait_uv::timeout>(record));
    return wait_for_user_variable(number, timeout);
}

} // namespace opkit
