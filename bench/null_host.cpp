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
int transaction_value = -1;

inline void count(Call call) {
    ++call_counts[static_cast<int>(call)];
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

int last_transaction() {
    return transaction_value;
}

} // namespace nullhost

using nullhost::Call;

extern "C" {

int _VioWrtCharStr(const char* text, uint16_t length, uint8_t, uint8_t, uint16_t*, uint16_t) {
    nullhost::count(Call::write_text);
    if (length >= 8 && memcmp(text, "Bad CCFR", 8) == 0) {
        ++nullhost::notice_count;
    }
    return 0;
}

int _VioWrtCharStrAtt(const char*, uint16_t, uint8_t, uint8_t, uint8_t, uint16_t*, uint16_t) {
    nullhost::count(Call::write_text_attribute);
    return 0;
}

int _VioReadCellStr(char*, uint16_t, uint8_t, uint8_t, uint16_t*, uint16_t) {
    nullhost::count(Call::read_cells);
    return 0;
}

int _VioWrtCellStr(const char*, uint16_t, uint8_t, uint8_t, uint16_t*, uint16_t) {
    nullhost::count(Call::write_cells);
    return 0;
}

int _VioSetCurPos(uint8_t, uint8_t) {
    nullhost::count(Call::set_cursor_position);
    return 0;
}

int _VioSetCurType(uint16_t) {
    nullhost::count(Call::set_cursor_type);
    return 0;
}

int _KbdReadAscii(uint16_t* key) {
    nullhost::count(Call::read_key);
    *key = 13;
    return 0;
}

int _WaitEvent(uint32_t) {
    nullhost::count(Call::wait_event);
    return 0;
}

int _IdleManager(uint16_t) {
    nullhost::count(Call::idle);
    return 0;
}

int _RtcGetAsciiTime(uint16_t format, char* text, uint8_t* status) {
    nullhost::count(Call::time);
    memcpy(text, format == 1 ? "023005PM" : "143005", format == 1 ? 9 : 7);
    if (status != nullptr) {
        *status = 0;
    }
    return 0;
}

int _RtcGetAsciiDate(uint16_t format, char* text, uint8_t* status) {
    nullhost::count(Call::date);
    memcpy(text, format == 3 ? "260512" : "120526", 7);
    if (status != nullptr) {
        *status = 0;
    }
    return 0;
}

int _ReadUserVariable(int number, char* text) {
    nullhost::count(Call::read_variable);
    if (!nullhost::valid_number(number)) {
        text[0] = '\0';
        return 1;
    }
    strcpy(text, nullhost::variables[number]);
    return 0;
}

int _WriteUserVariable(int number, const char* text) {
    nullhost::count(Call::write_variable);
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
    nullhost::count(Call::transaction);
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
