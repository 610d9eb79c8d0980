// The services of the null host: each counts its call and answers at once. Key reads always
// deliver Enter, so a notice that waits for a key (a benchmark that left its success path)
// cannot hang the run; the benchmarks detect it through notices().
#include "null_host.h"

#include "host/hostlib.h"

#include <string.h>

namespace nullhost {
namespace {

char variables[last_variable + 1][HOSTLIB_VARIABLE_MAX + 1];
uint64_t call_counts[call_kinds];
uint64_t notice_count;
// The code that follows a notice's first line: pending from the "Bad CCFR" write until the
// write into the parentheses.
bool notice_code_pending;
char notice_code[3];
int transaction_value = -1;

// One service call as the log keeps it: enough to make the same call again.
struct Logged {
    Call call;
    int32_t number;
    uint16_t length;
    uint8_t row;
    uint8_t column;
    uint8_t attribute;
    char text[2 * HOSTLIB_VARIABLE_MAX + 2];
};
constexpr int log_capacity = 512;
Logged log_entries[log_capacity];
int log_size;
bool logging;
bool log_overflowed;

// Counts the call and, while the log is on, keeps its arguments (texts up to their length).
inline void count(Call call, int32_t number = 0, const char* text = nullptr, uint16_t length = 0,
                  uint8_t row = 0, uint8_t column = 0, uint8_t attribute = 0) {
    ++call_counts[static_cast<int>(call)];
    if (!logging) {
        return;
    }
    if (log_size == log_capacity) {
        log_overflowed = true;
        return;
    }
    Logged& entry = log_entries[log_size++];
    entry = Logged{call, number, length, row, column, attribute, {}};
    if (text != nullptr) {
        memcpy(entry.text, text, length < sizeof entry.text ? length : sizeof entry.text - 1);
    }
}

bool valid_number(int number) {
    return number >= first_variable && number <= last_variable;
}

void copy_text(char* out, const char* text) {
    const size_t length = strnlen(text, HOSTLIB_VARIABLE_MAX);
    memcpy(out, text, length);
    out[length] = '\0';
}

} // namespace

void reset() {
    memset(variables, 0, sizeof variables);
    memset(call_counts, 0, sizeof call_counts);
    notice_count = 0;
    notice_code_pending = false;
    notice_code[0] = '\0';
    transaction_value = -1;
}

void set_variable(int number, const char* text) {
    if (valid_number(number)) {
        copy_text(variables[number], text);
    }
}

const char* variable(int number) {
    return valid_number(number) ? variables[number] : "";
}

uint64_t calls(Call call) {
    return call_counts[static_cast<int>(call)];
}

uint64_t notices() {
    return notice_count;
}

const char* last_notice_code() {
    return notice_code;
}

int last_transaction() {
    return transaction_value;
}

void start_log() {
    log_size = 0;
    log_overflowed = false;
    logging = true;
}

int stop_log() {
    logging = false;
    return log_overflowed ? -1 : log_size;
}

void replay() {
    // Out-buffers for the reads; static, so that a replay costs only its calls.
    static char cells[2 * 256];
    static char text[HOSTLIB_VARIABLE_MAX + 1];
    uint16_t word = 0;
    uint16_t key = 0;
    uint8_t status = 0;
    for (int i = 0; i < log_size; ++i) {
        const Logged& e = log_entries[i];
        switch (e.call) {
        case Call::write_text: _VioWrtCharStr(e.text, e.length, e.row, e.column, &word, 0); break;
        case Call::write_text_attribute:
            _VioWrtCharStrAtt(e.text, e.length, e.row, e.column, e.attribute, &word, 0);
            break;
        case Call::read_cells: _VioReadCellStr(cells, e.length, e.row, e.column, &word, 0); break;
        case Call::write_cells: _VioWrtCellStr(e.text, e.length, e.row, e.column, &word, 0); break;
        case Call::set_cursor_position: _VioSetCurPos(e.row, e.column); break;
        case Call::set_cursor_type: _VioSetCurType(e.length); break;
        case Call::read_key: _KbdReadAscii(&key); break;
        case Call::wait_event: _WaitEvent(static_cast<uint32_t>(e.number)); break;
        case Call::idle: _IdleManager(e.length); break;
        case Call::time: _RtcGetAsciiTime(e.length, text, &status); break;
        case Call::date: _RtcGetAsciiDate(e.length, text, &status); break;
        case Call::read_variable: _ReadUserVariable(e.number, text); break;
        case Call::write_variable: _WriteUserVariable(e.number, e.text); break;
        case Call::transaction: _TransactionMsg(e.length); break;
        }
    }
}

} // namespace nullhost

using nullhost::Call;

extern "C" {

int _VioWrtCharStr(const char* text, uint16_t length, uint8_t row, uint8_t column, uint16_t*,
                   uint16_t) {
    nullhost::count(Call::write_text, 0, text, length, row, column);
    if (length >= 8 && memcmp(text, "Bad CCFR", 8) == 0) {
        ++nullhost::notice_count;
        nullhost::notice_code_pending = true;
    } else if (nullhost::notice_code_pending && row == 0 && column == 9 && length == 2) {
        memcpy(nullhost::notice_code, text, 2);
        nullhost::notice_code[2] = '\0';
        nullhost::notice_code_pending = false;
    }
    return 0;
}

int _VioWrtCharStrAtt(const char* text, uint16_t length, uint8_t row, uint8_t column,
                      uint8_t attribute, uint16_t*, uint16_t) {
    nullhost::count(Call::write_text_attribute, 0, text, length, row, column, attribute);
    return 0;
}

int _VioReadCellStr(char*, uint16_t count, uint8_t row, uint8_t column, uint16_t*, uint16_t) {
    nullhost::count(Call::read_cells, 0, nullptr, count, row, column);
    return 0;
}

int _VioWrtCellStr(const char* cells, uint16_t count, uint8_t row, uint8_t column, uint16_t*,
                   uint16_t) {
    nullhost::count(Call::write_cells, 0, cells, static_cast<uint16_t>(2 * count), row, column);
    return 0;
}

int _VioSetCurPos(uint8_t row, uint8_t column) {
    nullhost::count(Call::set_cursor_position, 0, nullptr, 0, row, column);
    return 0;
}

int _VioSetCurType(uint16_t type) {
    nullhost::count(Call::set_cursor_type, 0, nullptr, type);
    return 0;
}

int _KbdReadAscii(uint16_t* key) {
    nullhost::count(Call::read_key);
    *key = 13;
    return 0;
}

int _WaitEvent(uint32_t milliseconds) {
    nullhost::count(Call::wait_event, static_cast<int32_t>(milliseconds));
    return 0;
}

int _IdleManager(uint16_t request) {
    nullhost::count(Call::idle, 0, nullptr, request);
    return 0;
}

int _RtcGetAsciiTime(uint16_t format, char* text, uint8_t* status) {
    nullhost::count(Call::time, 0, nullptr, format);
    memcpy(text, format == 1 ? "023005PM" : "143005", format == 1 ? 9 : 7);
    if (status != nullptr) {
        *status = 0;
    }
    return 0;
}

int _RtcGetAsciiDate(uint16_t format, char* text, uint8_t* status) {
    nullhost::count(Call::date, 0, nullptr, format);
    memcpy(text, format == 3 ? "260512" : "120526", 7);
    if (status != nullptr) {
        *status = 0;
    }
    return 0;
}

int _ReadUserVariable(int number, char* text) {
    nullhost::count(Call::read_variable, number);
    if (!nullhost::valid_number(number)) {
        text[0] = '\0';
        return 1;
    }
    strcpy(text, nullhost::variables[number]);
    return 0;
}

int _WriteUserVariable(int number, const char* text) {
    nullhost::count(Call::write_variable, number, text,
                    static_cast<uint16_t>(strnlen(text, HOSTLIB_VARIABLE_MAX + 1) + 1));
    if (!nullhost::valid_number(number)) {
        return 1;
    }
    if (strnlen(text, HOSTLIB_VARIABLE_MAX + 1) > HOSTLIB_VARIABLE_MAX) {
        return 5;
    }
    nullhost::copy_text(nullhost::variables[number], text);
    return 0;
}

int _TransactionMsg(uint16_t on) {
    nullhost::count(Call::transaction, 0, nullptr, on);
    nullhost::transaction_value = on;
    return 0;
}

#if !defined(_WIN32)
// The runtime's case-insensitive compare as the C locale has it: ASCII letters fold.
int stricmp(const char* left, const char* right) {
    const auto* l = reinterpret_cast<const unsigned char*>(left);
    const auto* r = reinterpret_cast<const unsigned char*>(right);
    for (;; ++l, ++r) {
        const int a = (*l >= 'A' && *l <= 'Z') ? *l + ('a' - 'A') : *l;
        const int b = (*r >= 'A' && *r <= 'Z') ? *r + ('a' - 'A') : *r;
        if (a != b || a == 0) {
            return a - b;
        }
    }
}
#endif

} // extern "C"
