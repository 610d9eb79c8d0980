// The fuzzing host's hostlib services. Every answer comes from the script of the current input
// or from fixed defaults, so a run is fully determined by its input. The host keeps every
// promise the plug-in relies on (buffer sizes, NUL-terminated texts) and fills the whole
// buffer that a caller is promised, so a buffer smaller than promised is caught; waits and
// notices always end because an exhausted key script answers Enter after a few empty polls
// and the idle service asks to stop after a bounded number of calls.
#include "fuzz_host.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "host/hostlib.h"

namespace opkit_fuzz {

namespace {

constexpr int screen_rows = 25;
constexpr int screen_columns = 80;
constexpr int variable_count = 256; // numbers 0-255 exist; others answer 1
constexpr int variable_buffer = HOSTLIB_VARIABLE_MAX + 1;
constexpr size_t tape_capacity = 4096;
constexpr int clock_queue_capacity = 16;
constexpr int idle_stop_after = 64;   // idle calls per plug-in call before a stop request
constexpr int default_poll_limit = 2; // empty key polls before Enter is pressed
constexpr int runaway_limit = 200000; // service calls per plug-in call
constexpr int64_t default_start_seconds = 820584000; // 2026-01-01 12:00:00 since 2000-01-01
constexpr unsigned char fill_byte = 0xA5;            // what a host may leave behind the NUL

// Bytes a service consumes one per call.
struct Tape {
    uint8_t bytes[tape_capacity];
    size_t size;
    size_t next;

    bool take(uint8_t* out) {
        if (next >= size) {
            return false;
        }
        *out = bytes[next++];
        return true;
    }
    void append(const uint8_t* payload, size_t count) {
        for (size_t i = 0; i < count && size < tape_capacity; ++i) {
            bytes[size++] = payload[i];
        }
    }
};

// A scripted answer: a digit gives that result and the service acts; a letter a-j gives
// result 0-9 and the service leaves the caller's buffer as it was.
struct Answer {
    bool scripted;
    int result;
    bool perform;
};

Answer decode(uint8_t byte) {
    if (byte >= '0' && byte <= '9') {
        return {true, byte - '0', true};
    }
    if (byte >= 'a' && byte <= 'j') {
        return {true, byte - 'a', false};
    }
    return {false, 0, true};
}

Answer next_answer(Tape& tape) {
    uint8_t byte = 0;
    return tape.take(&byte) ? decode(byte) : Answer{false, 0, true};
}

// Clock texts the script puts in place of the clock's own, one per read.
struct ClockQueue {
    char texts[clock_queue_capacity][12];
    int size;
    int next;
};

enum ClockFormat { time_12 = 0, time_24 = 1, date_mdy = 2, date_ymd = 3, clock_formats = 4 };

struct Variable {
    bool set;
    char text[variable_buffer];
};

struct HostState {
    char screen[screen_rows][screen_columns];
    uint8_t attributes[screen_rows][screen_columns];
    Variable variables[variable_count];
    Tape reads;
    Tape writes;
    Tape keys;
    Tape idles;
    Tape clock_answers;
    ClockQueue clocks[clock_formats];
    int64_t clock_ms;
    int poll_limit;
    int empty_polls;
    int last_write_result;

    CallRules rules;
    bool in_call;
    int idle_calls;
    CallReport report;
};

HostState host;
volatile uint32_t text_checksum; // keeps the host's reads of the caller's texts

void check_service(uint32_t bit, const char* name) {
    if (!host.in_call) {
        fuzz_fail("%s called outside a call of the plug-in", name);
    }
    if ((host.rules.services & bit) == 0U) {
        fuzz_fail("%s asked %s of the host", host.rules.what, name);
    }
    if (++host.report.service_calls > runaway_limit) {
        fuzz_fail("%s made more than %d service calls: a loop that does not end", host.rules.what,
                  runaway_limit);
    }
}

void check_reserved(uint16_t reserved, const char* name) {
    if (reserved != 0U) {
        fuzz_fail("%s passed %u as the reserved argument of %s", host.rules.what,
                  static_cast<unsigned>(reserved), name);
    }
}

// Reads every character the caller hands over, as the terminal does.
void take_text(const char* text, uint16_t length, uint8_t row, uint8_t column,
               const uint8_t* attribute) {
    uint32_t sum = 0;
    for (int i = 0; i < length; ++i) {
        const char c = text[i];
        sum = sum * 31U + static_cast<unsigned char>(c);
        const int r = row;
        const int col = column + i;
        if (r < screen_rows && col < screen_columns) {
            host.screen[r][col] = c;
            if (attribute != nullptr) {
                host.attributes[r][col] = *attribute;
            }
        }
    }
    text_checksum = text_checksum + sum;
}

bool starts_with(const char* text, uint16_t length, const char* prefix) {
    const size_t n = strlen(prefix);
    return length >= n && memcmp(text, prefix, n) == 0;
}

// Notices are recognised by their texts: the code stands at row 0, column 9. Calls that
// write free text (the formatter on its own) have no codes to watch.
void watch_notices(const char* text, uint16_t length, uint8_t row, uint8_t column) {
    if (host.rules.codes == nullptr) {
        return;
    }
    if (row == 0 && column == 0 && starts_with(text, length, "Bad CCFR(  ):")) {
        if (++host.report.bad_param_notices > 1) {
            fuzz_fail("%s showed a second parameter notice in one call", host.rules.what);
        }
    }
    if (row == 0 && column == 9 && length == 2) {
        const char* codes = host.rules.codes;
        for (size_t i = 0; codes[i] != '\0' && codes[i + 1] != '\0'; i += 2) {
            if (codes[i] == text[0] && codes[i + 1] == text[1]) {
                return;
            }
        }
        fuzz_fail("%s showed the notice code '%c%c', which it never raises", host.rules.what,
                  text[0], text[1]);
    }
    if (row == 0 && column == 0 && starts_with(text, length, "CFR append too long:")) {
        ++host.report.append_notices;
        if (host.last_write_result != 5) {
            fuzz_fail("%s showed the append notice after a write that answered %d", host.rules.what,
                      host.last_write_result);
        }
        host.last_write_result = 0;
    }
}

void check_box_row(uint8_t row, uint8_t column, const char* name) {
    if (row < 1 || row > 18 || column != 2) {
        fuzz_fail("%s: %s at row %u, column %u, outside the popup box", host.rules.what, name,
                  static_cast<unsigned>(row), static_cast<unsigned>(column));
    }
}

// Digits of a clock text.
void two_digits(char* out, int64_t value) {
    out[0] = static_cast<char>('0' + (value / 10) % 10);
    out[1] = static_cast<char>('0' + value % 10);
}

// Civil date of a day count since 2000-01-01.
void civil_from_days(int64_t days, int* year, int* month, int* day) {
    int y = 2000;
    for (;;) {
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        const int length = leap ? 366 : 365;
        if (days < length) {
            static const int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
            int m = 0;
            for (; m < 12; ++m) {
                const int in_month = month_days[m] + (m == 1 && leap ? 1 : 0);
                if (days < in_month) {
                    break;
                }
                days -= in_month;
            }
            *year = y;
            *month = m + 1;
            *day = static_cast<int>(days) + 1;
            return;
        }
        days -= length;
        ++y;
    }
}

// The clock's own text of a format, from the virtual clock.
void clock_text(ClockFormat format, char* out) {
    const int64_t seconds = host.clock_ms / 1000;
    const int64_t of_day = seconds % 86400;
    const int64_t hour = of_day / 3600;
    memset(out, 0, 12);
    if (format == time_12 || format == time_24) {
        const int64_t shown = format == time_24 ? hour : (hour % 12 == 0 ? 12 : hour % 12);
        two_digits(out, shown);
        two_digits(out + 2, of_day / 60 % 60);
        two_digits(out + 4, of_day % 60);
        if (format == time_12) {
            out[6] = hour < 12 ? 'A' : 'P';
            out[7] = 'M';
        }
        return;
    }
    int year = 0;
    int month = 0;
    int day = 0;
    civil_from_days(seconds / 86400, &year, &month, &day);
    if (format == date_mdy) {
        two_digits(out, month);
        two_digits(out + 2, day);
        two_digits(out + 4, year % 100);
    } else {
        two_digits(out, year % 100);
        two_digits(out + 2, month);
        two_digits(out + 4, day);
    }
}

// Answers a clock service into a buffer of `promised` bytes.
int answer_clock(ClockFormat format, char* text, uint8_t* status, size_t promised) {
    const Answer answer = next_answer(host.clock_answers);
    if (!answer.perform) {
        return answer.result;
    }
    char value[12];
    ClockQueue& queue = host.clocks[format];
    if (queue.next < queue.size) {
        memcpy(value, queue.texts[queue.next++], sizeof value);
    } else {
        clock_text(format, value);
    }
    const size_t length = strnlen(value, promised - 1);
    memcpy(text, value, length);
    memset(text + length, 0, 1);
    memset(text + length + 1, fill_byte, promised - length - 1);
    if (status != nullptr) {
        *status = 0;
    }
    return answer.result;
}

} // namespace

void fuzz_fail(const char* format, ...) {
    va_list args;
    va_start(args, format);
    fputs("opkit fuzz: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    abort();
}

int64_t payload_number(const uint8_t* payload, size_t size) {
    size_t i = 0;
    while (i < size && (payload[i] == ' ' || payload[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < size && (payload[i] == '-' || payload[i] == '+')) {
        negative = payload[i] == '-';
        ++i;
    }
    constexpr int64_t limit = int64_t{1} << 62;
    int64_t value = 0;
    for (; i < size && payload[i] >= '0' && payload[i] <= '9'; ++i) {
        value = value <= limit / 10 ? value * 10 + (payload[i] - '0') : limit;
    }
    if (value > limit) {
        value = limit;
    }
    return negative ? -value : value;
}

void host_reset() {
    memset(host.screen, ' ', sizeof host.screen);
    memset(host.attributes, 0, sizeof host.attributes);
    for (Variable& variable : host.variables) {
        variable.set = false;
    }
    host.reads.size = host.reads.next = 0;
    host.writes.size = host.writes.next = 0;
    host.keys.size = host.keys.next = 0;
    host.idles.size = host.idles.next = 0;
    host.clock_answers.size = host.clock_answers.next = 0;
    for (ClockQueue& queue : host.clocks) {
        queue.size = queue.next = 0;
    }
    host.clock_ms = default_start_seconds * 1000;
    host.poll_limit = default_poll_limit;
    host.empty_polls = 0;
    host.last_write_result = 0;
    host.in_call = false;
}

void host_script_line(char kind, const uint8_t* payload, size_t size) {
    switch (kind) {
    case 'V': { // Vnn text: user variable nn (two characters read as a number) holds text
        if (size < 2) {
            return;
        }
        const int64_t number = payload_number(payload, 2);
        if (number < 0 || number >= variable_count) {
            return;
        }
        Variable& variable = host.variables[number];
        size_t length = 0;
        while (2 + length < size && length < HOSTLIB_VARIABLE_MAX && payload[2 + length] != 0) {
            variable.text[length] = static_cast<char>(payload[2 + length]);
            ++length;
        }
        variable.text[length] = '\0';
        variable.set = true;
        return;
    }
    case 'R': host.reads.append(payload, size); return;
    case 'W': host.writes.append(payload, size); return;
    case 'K': host.keys.append(payload, size); return;
    case 'I': host.idles.append(payload, size); return;
    case 'Z': host.clock_answers.append(payload, size); return;
    case 'P':
        host.poll_limit = size > 0 && payload[0] >= '0' && payload[0] <= '9' ? payload[0] - '0' : 0;
        return;
    case 'S': { // seconds since 2000-01-01 00:00:00, within the clock's hundred years
        int64_t seconds = payload_number(payload, size);
        constexpr int64_t century = int64_t{36524} * 86400;
        seconds %= century;
        if (seconds < 0) {
            seconds += century;
        }
        host.clock_ms = seconds * 1000;
        return;
    }
    case 'T':
    case 'A':
    case 'D':
    case 'Y': { // a clock text for the next read of that format, as long as the host allows
        const ClockFormat format = kind == 'T'   ? time_24
                                   : kind == 'A' ? time_12
                                   : kind == 'D' ? date_mdy
                                                 : date_ymd;
        ClockQueue& queue = host.clocks[format];
        if (queue.size >= clock_queue_capacity) {
            return;
        }
        const size_t limit = format == time_12 ? 11 : 7;
        char* text = queue.texts[queue.size++];
        memset(text, 0, 12);
        for (size_t i = 0; i < size && i < limit && payload[i] != 0; ++i) {
            text[i] = static_cast<char>(payload[i]);
        }
        return;
    }
    default: return;
    }
}

void host_begin_call(const CallRules& rules) {
    host.rules = rules;
    host.in_call = true;
    host.idle_calls = 0;
    host.report = CallReport{};
}

CallReport host_end_call() {
    host.in_call = false;
    return host.report;
}

} // namespace opkit_fuzz

using opkit_fuzz::host;

extern "C" {

int _VioWrtCharStr(const char* text, uint16_t length, uint8_t row, uint8_t column, uint16_t* word,
                   uint16_t reserved) {
    opkit_fuzz::check_service(opkit_fuzz::svc_write_text, "_VioWrtCharStr");
    opkit_fuzz::check_reserved(reserved, "_VioWrtCharStr");
    opkit_fuzz::take_text(text, length, row, column, nullptr);
    opkit_fuzz::watch_notices(text, length, row, column);
    if (word != nullptr) {
        *word = 0;
    }
    return 0;
}

int _VioWrtCharStrAtt(const char* text, uint16_t length, uint8_t row, uint8_t column,
                      uint8_t attribute, uint16_t* word, uint16_t reserved) {
    opkit_fuzz::check_service(opkit_fuzz::svc_write_text_att, "_VioWrtCharStrAtt");
    opkit_fuzz::check_reserved(reserved, "_VioWrtCharStrAtt");
    opkit_fuzz::check_box_row(row, column, "_VioWrtCharStrAtt");
    if (attribute > 1 || length != 24) {
        opkit_fuzz::fuzz_fail("%s drew a frame line of %u characters in attribute %u",
                              host.rules.what, static_cast<unsigned>(length),
                              static_cast<unsigned>(attribute));
    }
    opkit_fuzz::take_text(text, length, row, column, &attribute);
    if (word != nullptr) {
        *word = 0;
    }
    return 0;
}

int _VioReadCellStr(char* cells, uint16_t count, uint8_t row, uint8_t column, uint16_t* word,
                    uint16_t reserved) {
    opkit_fuzz::check_service(opkit_fuzz::svc_read_cells, "_VioReadCellStr");
    opkit_fuzz::check_reserved(reserved, "_VioReadCellStr");
    opkit_fuzz::check_box_row(row, column, "_VioReadCellStr");
    if (count != 24) {
        opkit_fuzz::fuzz_fail("%s saved %u cells of a row", host.rules.what,
                              static_cast<unsigned>(count));
    }
    for (int i = 0; i < count; ++i) {
        const int col = column + i;
        const bool inside = row < opkit_fuzz::screen_rows && col < opkit_fuzz::screen_columns;
        cells[2 * i] = inside ? host.screen[row][col] : '\0';
        cells[2 * i + 1] = static_cast<char>(inside ? host.attributes[row][col] : 0);
    }
    if (word != nullptr) {
        *word = 0;
    }
    return 0;
}

int _VioWrtCellStr(const char* cells, uint16_t count, uint8_t row, uint8_t column, uint16_t* word,
                   uint16_t reserved) {
    opkit_fuzz::check_service(opkit_fuzz::svc_write_cells, "_VioWrtCellStr");
    opkit_fuzz::check_reserved(reserved, "_VioWrtCellStr");
    opkit_fuzz::check_box_row(row, column, "_VioWrtCellStr");
    if (count != 24) {
        opkit_fuzz::fuzz_fail("%s restored %u cells of a row", host.rules.what,
                              static_cast<unsigned>(count));
    }
    for (int i = 0; i < count; ++i) {
        const int col = column + i;
        const char c = cells[2 * i];
        const char a = cells[2 * i + 1];
        if (row < opkit_fuzz::screen_rows && col < opkit_fuzz::screen_columns) {
            host.screen[row][col] = c;
            host.attributes[row][col] = static_cast<uint8_t>(a);
        }
    }
    if (word != nullptr) {
        *word = 0;
    }
    return 0;
}

int _VioSetCurPos(uint8_t row, uint8_t column) {
    opkit_fuzz::check_service(opkit_fuzz::svc_cursor_position, "_VioSetCurPos");
    opkit_fuzz::text_checksum = opkit_fuzz::text_checksum + row + column;
    return 0;
}

int _VioSetCurType(uint16_t type) {
    opkit_fuzz::check_service(opkit_fuzz::svc_cursor_type, "_VioSetCurType");
    opkit_fuzz::text_checksum = opkit_fuzz::text_checksum + type;
    return 0;
}

// Script bytes: '~' the abort key, '^' Enter, '.' no key waiting, '!' result 7 with no key
// stored; any other byte is pressed as a key of that code. With the script used up, the
// host answers "no key" for the poll limit and then presses Enter.
int _KbdReadAscii(uint16_t* key) {
    opkit_fuzz::check_service(opkit_fuzz::svc_read_key, "_KbdReadAscii");
    uint8_t byte = 0;
    if (host.keys.take(&byte)) {
        switch (byte) {
        case '~': *key = 256; return 0;
        case '^': *key = 13; return 0;
        case '.': return HOSTLIB_NO_KEY;
        case '!': return 7;
        default: *key = byte; return 0;
        }
    }
    if (host.empty_polls < host.poll_limit) {
        ++host.empty_polls;
        return HOSTLIB_NO_KEY;
    }
    host.empty_polls = 0;
    *key = 13;
    return 0;
}

int _WaitEvent(uint32_t milliseconds) {
    opkit_fuzz::check_service(opkit_fuzz::svc_wait_event, "_WaitEvent");
    // A wait costs at least a quarter second of virtual time, so timeouts come in a few passes.
    host.clock_ms += milliseconds > 250U ? milliseconds : 250U;
    return 0;
}

// Script bytes: a digit is the answer; anything else answers 0. After a bounded number of
// calls within one plug-in call the host asks to stop, whatever the script says.
int _IdleManager(uint16_t request) {
    opkit_fuzz::check_service(opkit_fuzz::svc_idle, "_IdleManager");
    if (request != 0 && request != 200) {
        opkit_fuzz::fuzz_fail("%s asked idle work %u", host.rules.what,
                              static_cast<unsigned>(request));
    }
    if (++host.idle_calls > opkit_fuzz::idle_stop_after) {
        return 1;
    }
    uint8_t byte = 0;
    if (host.idles.take(&byte) && byte >= '0' && byte <= '9') {
        return byte - '0';
    }
    return 0;
}

int _RtcGetAsciiTime(uint16_t format, char* text, uint8_t* status) {
    opkit_fuzz::check_service(opkit_fuzz::svc_time, "_RtcGetAsciiTime");
    if (format != 1 && format != 2) {
        opkit_fuzz::fuzz_fail("%s asked time format %u", host.rules.what,
                              static_cast<unsigned>(format));
    }
    return format == 1 ? opkit_fuzz::answer_clock(opkit_fuzz::time_12, text, status, 12)
                       : opkit_fuzz::answer_clock(opkit_fuzz::time_24, text, status, 8);
}

int _RtcGetAsciiDate(uint16_t format, char* text, uint8_t* status) {
    opkit_fuzz::check_service(opkit_fuzz::svc_date, "_RtcGetAsciiDate");
    if (format != 1 && format != 3) {
        opkit_fuzz::fuzz_fail("%s asked date format %u", host.rules.what,
                              static_cast<unsigned>(format));
    }
    return opkit_fuzz::answer_clock(format == 1 ? opkit_fuzz::date_mdy : opkit_fuzz::date_ymd, text,
                                    status, 8);
}

int _ReadUserVariable(int number, char* text) {
    opkit_fuzz::check_service(opkit_fuzz::svc_read_variable, "_ReadUserVariable");
    if (number < host.rules.read_first || number > host.rules.read_last) {
        opkit_fuzz::fuzz_fail("%s read user variable %d", host.rules.what, number);
    }
    const opkit_fuzz::Answer answer = opkit_fuzz::next_answer(host.reads);
    const bool exists = number >= 0 && number < opkit_fuzz::variable_count;
    int result = answer.scripted ? answer.result : (exists ? 0 : 1);
    if (answer.perform && (exists || answer.scripted)) {
        const opkit_fuzz::Variable* variable = exists ? &host.variables[number] : nullptr;
        const char* value = variable != nullptr && variable->set ? variable->text : "";
        const size_t length = strlen(value);
        memcpy(text, value, length + 1);
        memset(text + length + 1, opkit_fuzz::fill_byte, opkit_fuzz::variable_buffer - length - 1);
    }
    return result;
}

int _WriteUserVariable(int number, const char* text) {
    opkit_fuzz::check_service(opkit_fuzz::svc_write_variable, "_WriteUserVariable");
    const size_t length = strlen(text);
    if (number < host.rules.write_first || number > host.rules.write_last ||
        length > static_cast<size_t>(host.rules.write_longest)) {
        opkit_fuzz::fuzz_fail("%s wrote a text of %zu characters to user variable %d",
                              host.rules.what, length, number);
    }
    const opkit_fuzz::Answer answer = opkit_fuzz::next_answer(host.writes);
    const bool exists = number >= 0 && number < opkit_fuzz::variable_count;
    int result = 0;
    if (answer.scripted) {
        result = answer.result;
    } else if (!exists) {
        result = 1;
    } else if (length > HOSTLIB_VARIABLE_MAX) {
        result = 5;
    }
    if (answer.perform && exists && length <= HOSTLIB_VARIABLE_MAX) {
        memcpy(host.variables[number].text, text, length + 1);
        host.variables[number].set = true;
    }
    host.last_write_result = result;
    return result;
}

int _TransactionMsg(uint16_t on) {
    opkit_fuzz::check_service(opkit_fuzz::svc_transaction, "_TransactionMsg");
    if (on > 1) {
        opkit_fuzz::fuzz_fail("%s switched transaction messages with %u", host.rules.what,
                              static_cast<unsigned>(on));
    }
    return 0;
}

// The case-insensitive compare that hostlib provides on the handheld.
int stricmp(const char* left, const char* right) {
    const auto* l = reinterpret_cast<const unsigned char*>(left);
    const auto* r = reinterpret_cast<const unsigned char*>(right);
    for (;; ++l, ++r) {
        const int a = *l >= 'A' && *l <= 'Z' ? *l + ('a' - 'A') : *l;
        const int b = *r >= 'A' && *r <= 'Z' ? *r + ('a' - 'A') : *r;
        if (a != b || a == 0) {
            return a - b;
        }
    }
}

} // extern "C"
