// The fuzz target: each input is a script of lines that sets up the host and calls the plug-in
// several times in a row, so that the state kept across calls (counters, uniqueness lists,
// the popup box) is fuzzed as well. Every call is checked against what its function may do:
// the services it asks for, the notice codes it shows, the user variables it touches and the
// value it returns. The plug-in's module state is put back to its load-time image before each
// input, so every input runs as on a freshly loaded library and every finding reproduces.
//
// Input lines (separated by '\n'; the first byte says what the line is):
//   C<record>   message 3 with this call record (cut at its first NUL, in a buffer of exactly
//               its length plus the NUL)
//   M<number>   any other message code, decimal; message 3 given this way gets a null record
//   Vnn<text>   user variable nn (two characters read as a number, 0-255) holds <text>
//   R<bytes>    answers of the next user variable reads: a digit is the result and the text
//               is copied; a letter a-j gives result 0-9 and leaves the buffer untouched
//   W<bytes>    answers of the next user variable writes, coded the same way
//   K<bytes>    keys: '~' abort key, '^' Enter, '.' no key, '!' result 7 and no key,
//               any other byte that key code
//   I<bytes>    answers of the idle service: a digit is the answer, anything else 0
//   T/A/D/Y<text> the next text of time format 2, time format 1, date format 1, date format 3
//   Z<bytes>    answers of the clock services, coded like R
//   S<number>   the clock, in seconds since 2000-01-01 00:00:00
//   P<digit>    empty key polls before the host presses Enter when the key script is used up
//   F<c><r><k><format>  the formatter on its own: capacity c (a byte, the buffer is exactly
//               that large), row r ('-' for -1, else the byte modulo 25), column k (a byte),
//               with arguments of the types that the format's conversions take
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "entry/dispatch.h"
#include "entry/layouts.h"
#include "fuzz_host.h"
#include "screen/screen.h"

// Bounds of the plug-in's writable data, gathered into two sections by plugin_state.ld.
extern "C" char __start_opkit_data[];
extern "C" char __stop_opkit_data[];
extern "C" char __start_opkit_bss[];
extern "C" char __stop_opkit_bss[];

namespace opkit_fuzz {
namespace {

constexpr int max_calls = 64;
constexpr size_t snapshot_capacity = size_t{1} << 16;

// The load-time image of one range of the plug-in's data.
struct Saved {
    char* start;
    size_t size;
    alignas(8) char bytes[snapshot_capacity];
};

Saved saved_data;
Saved saved_bss;

// A plain byte copy, blind to the sanitizers: the range holds the redzones that the address
// sanitizer puts between globals, which are copied back unchanged.
__attribute__((no_sanitize("address", "undefined"))) void copy_bytes(char* to, const char* from,
                                                                     size_t count) {
    size_t i = 0;
    if ((reinterpret_cast<uintptr_t>(to) | reinterpret_cast<uintptr_t>(from)) % 8 == 0) {
        volatile uint64_t* out = reinterpret_cast<uint64_t*>(to);
        const volatile uint64_t* in = reinterpret_cast<const uint64_t*>(from);
        for (; i + 8 <= count; i += 8) {
            out[i / 8] = in[i / 8];
        }
    }
    volatile char* out = to;
    const volatile char* in = from;
    for (; i < count; ++i) {
        out[i] = in[i];
    }
}

void save(Saved& saved, char* start, char* stop) {
    saved.start = start;
    saved.size = static_cast<size_t>(stop - start);
    if (saved.size > snapshot_capacity) {
        fuzz_fail("the plug-in's data (%zu bytes) outgrew the snapshot", saved.size);
    }
    copy_bytes(saved.bytes, start, saved.size);
}

struct FunctionRules {
    const char* name;
    CallRules rules;
    unsigned results; // bit r set: the function may return r
};

constexpr uint32_t notice = svc_write_text | svc_read_key | svc_wait_event;
constexpr uint32_t clock = svc_time | svc_date;
constexpr unsigned zero = 1U;

constexpr size_t function_count = opkit::count_of(opkit::layouts);
constexpr int longest_write = 11; // a signed 32-bit number, or a 12-hour time

// Each function's rules, derived from its row before the first input: the notice codes of its
// checks, the results and services it may have, the variables it may read (any number that
// its variable fields can hold, or their low 8 bits) and write.
struct DerivedRules {
    FunctionRules function;
    char codes[32];
};
DerivedRules derived[function_count];

uint32_t services_of(unsigned services) {
    uint32_t bits = notice;
    bits |= (services & opkit::service_cells) != 0U
                ? svc_write_text_att | svc_read_cells | svc_write_cells
                : 0U;
    bits |= (services & opkit::service_read_variable) != 0U ? svc_read_variable : 0U;
    bits |= (services & opkit::service_write_variable) != 0U ? svc_write_variable : 0U;
    bits |= (services & opkit::service_idle) != 0U ? svc_idle : 0U;
    bits |= (services & opkit::service_clock) != 0U ? clock : 0U;
    bits |= (services & opkit::service_transaction) != 0U ? svc_transaction : 0U;
    return bits;
}

// Adds the check's code unless the codes hold it already.
void add_code(char* codes, const char* code) {
    const size_t length = strlen(codes);
    for (size_t i = 0; i + 1 < length; i += 2) {
        if (codes[i] == code[0] && codes[i + 1] == code[1]) {
            return;
        }
    }
    if (code[0] != '\0' && length + 2 < sizeof(DerivedRules::codes)) {
        codes[length] = code[0];
        codes[length + 1] = code[1];
        codes[length + 2] = '\0';
    }
}

// The numbers a field of `width` columns can hold: -9 to 99 for two columns.
void widen_reads(CallRules& rules, const opkit::Check& check) {
    int low = 0;
    int high = 255;
    if (check.test == opkit::Test::host_read) {
        int power = 1;
        for (int i = 1; i < check.field->width; ++i) {
            power *= 10;
        }
        low = 1 - power;
        high = power * 10 - 1;
    } else if (check.test != opkit::Test::host_read_byte) {
        return;
    }
    const bool none = rules.read_first > rules.read_last;
    rules.read_first = none || low < rules.read_first ? low : rules.read_first;
    rules.read_last = none || high > rules.read_last ? high : rules.read_last;
}

void derive_rules() {
    for (size_t i = 0; i < function_count; ++i) {
        const opkit::Layout& layout = opkit::layouts[i];
        DerivedRules& d = derived[i];
        d.codes[0] = '\0';
        CallRules& rules = d.function.rules;
        rules = {layout.name,
                 services_of(layout.services),
                 d.codes,
                 1,
                 0,
                 layout.writes.first,
                 layout.writes.last,
                 layout.writes.first <= layout.writes.last ? longest_write : 0};
        for (size_t c = 0; c < layout.check_count; ++c) {
            add_code(d.codes, layout.checks[c].code);
            widen_reads(rules, layout.checks[c]);
        }
        d.function.name = layout.name;
        d.function.results = layout.results;
    }
}

const FunctionRules unknown_name = {
    "no function", {"unknown name", notice, "M1", 1, 0, 1, 0, 0}, zero};
const FunctionRules self_test = {
    "message 5",
    {"message 5",
     svc_write_text | svc_cursor_position | svc_cursor_type | svc_idle | clock | svc_read_key, "",
     1, 0, 1, 0, 0},
    zero};
const FunctionRules quiet_message = {
    "message", {"message 0-2, 4 or other", 0, "", 1, 0, 1, 0, 0}, zero};

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// The function a record names: its seven name columns, compared without regard to case.
const FunctionRules& rules_for(const char* record, size_t length) {
    if (record == nullptr || length < 9) {
        return unknown_name;
    }
    for (const DerivedRules& d : derived) {
        bool same = true;
        for (int i = 0; i < 7 && same; ++i) {
            same = lower(record[2 + i]) == lower(d.function.name[i]);
        }
        if (same) {
            return d.function;
        }
    }
    return unknown_name;
}

void run_call(const FunctionRules& function, int message, char* record) {
    host_begin_call(function.rules);
    const int result = opkit::opkit_main(message, record);
    const CallReport report = host_end_call();
    if (result < 0 || result > 2 || (function.results & (1U << result)) == 0U) {
        fuzz_fail("%s returned %d", function.rules.what, result);
    }
    if (report.bad_param_notices > 0 && result != 0) {
        fuzz_fail("%s returned %d after a parameter notice", function.rules.what, result);
    }
}

void call_with_record(const uint8_t* payload, size_t size) {
    const void* nul = memchr(payload, 0, size);
    const size_t length =
        nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - payload) : size;
    // Exactly the record and its NUL, so a read past the NUL is outside the allocation.
    char* record = static_cast<char*>(malloc(length + 1));
    if (record == nullptr) {
        abort();
    }
    memcpy(record, payload, length);
    record[length] = '\0';
    run_call(rules_for(record, length), 3, record);
    free(record);
}

void send_message(const uint8_t* payload, size_t size) {
    int64_t value = payload_number(payload, size);
    value = value < INT32_MIN ? INT32_MIN : value > INT32_MAX ? INT32_MAX : value;
    const int message = static_cast<int>(value);
    switch (static_cast<unsigned>(message)) {
    case 3: run_call(unknown_name, message, nullptr); return;
    case 5: run_call(self_test, message, nullptr); return;
    default: {
        // A pointer to no bytes at all: the record of other messages must never be read.
        char* nothing = static_cast<char*>(malloc(0));
        run_call(quiet_message, message, nothing);
        free(nothing);
        return;
    }
    }
}

// ---- the formatter on its own

constexpr int max_arguments = 4;

enum class Argument : uint8_t { int_value, long_value, text };

struct FormatCall {
    char* out;
    int capacity;
    int row;
    int column;
    const char* format;
    Argument kinds[max_arguments];
    int count;
    unsigned pick; // chooses the argument values
};

const int32_t int_values[] = {0, -1, 42, INT32_MIN, INT32_MAX, 255, 'A', 13, 7, -42, 65536};
const char long_text[] = "a text longer than any field that the formatter pads, so that the "
                         "whole of it must fit in the output buffer or the call must fail";
const char* const text_values[] = {"", "abc", "x", long_text, "\xe9t\xe9"};

int32_t int_argument(const FormatCall& call, int index) {
    return int_values[(call.pick + static_cast<unsigned>(index)) %
                      (sizeof int_values / sizeof int_values[0])];
}

const char* text_argument(const FormatCall& call, int index) {
    return text_values[(call.pick + static_cast<unsigned>(index)) %
                       (sizeof text_values / sizeof text_values[0])];
}

// Calls the formatter with one argument of the right type for each conversion that takes one.
template <typename... Args> int call_formatter(const FormatCall& call, Args... args) {
    constexpr int index = static_cast<int>(sizeof...(Args));
    if constexpr (index < max_arguments) {
        if (index < call.count) {
            switch (call.kinds[index]) {
            case Argument::int_value:
                return call_formatter(call, args..., static_cast<int>(int_argument(call, index)));
            case Argument::long_value:
                // The formatter reads a long for a conversion written with 'l'.
                return call_formatter(call, args...,
                                      static_cast<long>(int_argument(call, index))); // NOLINT
            case Argument::text: return call_formatter(call, args..., text_argument(call, index));
            }
        }
    }
    return opkit::scr_printf(call.out, call.capacity, call.row, call.column, call.format, args...);
}

bool is_one_of(char c, const char* set) {
    return c != '\0' && strchr(set, c) != nullptr;
}

// Finds the arguments that the format's conversions take, in the formatter's own grammar,
// and cuts the format before a conversion that would need more than max_arguments.
void plan_arguments(char* format, FormatCall& call) {
    call.count = 0;
    size_t i = 0;
    while (format[i] != '\0') {
        if (format[i] != '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        char size = '\0';
        bool point = false;
        int width_digits = 0;
        int precision_digits = 0;
        for (;; ++j) {
            const char c = format[j];
            if (is_one_of(c, " +-")) {
                continue;
            }
            if (is_one_of(c, ",.")) {
                point = true;
            } else if (c >= '0' && c <= '9') {
                if (++(point ? precision_digits : width_digits) > 2) {
                    return; // the formatter stops here and takes no more arguments
                }
            } else if (is_one_of(c, "hlL")) {
                size = c;
            } else {
                break;
            }
        }
        const char letter = format[j];
        if (is_one_of(letter, "diouxXcs")) {
            if (call.count == max_arguments) {
                format[i] = '\0';
                return;
            }
            call.kinds[call.count++] = letter == 's'   ? Argument::text
                                       : letter == 'c' ? Argument::int_value
                                       : size == 'l'   ? Argument::long_value
                                                       : Argument::int_value;
        }
        if (letter == '\0') {
            return;
        }
        i = j + 1;
    }
}

const CallRules formatter_rules = {"scr_printf", svc_write_text, nullptr, 1, 0, 1, 0, 0};

void run_formatter(const uint8_t* payload, size_t size) {
    if (size < 3) {
        return;
    }
    FormatCall call{};
    call.capacity = payload[0];
    call.row = payload[1] == '-' ? -1 : payload[1] % 25;
    call.column = payload[2];
    call.pick = static_cast<unsigned>(payload[0] ^ payload[1]);
    const uint8_t* text = payload + 3;
    const void* nul = memchr(text, 0, size - 3);
    const size_t length =
        nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - text) : size - 3;
    char* format = static_cast<char*>(malloc(length + 1));
    // Exactly the capacity: a write past it is outside the allocation.
    char* out = static_cast<char*>(malloc(static_cast<size_t>(call.capacity)));
    if (format == nullptr || (out == nullptr && call.capacity > 0)) {
        abort();
    }
    memcpy(format, text, length);
    format[length] = '\0';
    plan_arguments(format, call);
    call.out = out;
    call.format = format;

    host_begin_call(formatter_rules);
    const int result = call_formatter(call);
    const CallReport report = host_end_call();
    if (result < 0 || result > 3) {
        fuzz_fail("scr_printf returned %d", result);
    }
    if (call.row == -1 && report.service_calls != 0) {
        fuzz_fail("scr_printf wrote on the screen for row -1");
    }
    if (call.capacity > 0 && memchr(out, 0, static_cast<size_t>(call.capacity)) == nullptr) {
        fuzz_fail("scr_printf left its output without a NUL within the capacity");
    }
    free(out);
    free(format);
}

} // namespace
} // namespace opkit_fuzz

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
    using namespace opkit_fuzz;
    derive_rules();
    save(saved_data, __start_opkit_data, __stop_opkit_data);
    save(saved_bss, __start_opkit_bss, __stop_opkit_bss);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace opkit_fuzz;
    copy_bytes(saved_data.start, saved_data.bytes, saved_data.size);
    copy_bytes(saved_bss.start, saved_bss.bytes, saved_bss.size);
    host_reset();
    int calls = 0;
    size_t start = 0;
    while (start < size && calls < max_calls) {
        const void* end = memchr(data + start, '\n', size - start);
        const size_t stop =
            end != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(end) - data) : size;
        const char kind = static_cast<char>(data[start]);
        const uint8_t* payload = data + start + 1;
        const size_t payload_size = stop > start ? stop - start - 1 : 0;
        if (stop > start) {
            if (kind == 'C') {
                call_with_record(payload, payload_size);
                ++calls;
            } else if (kind == 'M') {
                send_message(payload, payload_size);
                ++calls;
            } else if (kind == 'F') {
                run_formatter(payload, payload_size);
                ++calls;
            } else {
                host_script_line(kind, payload, payload_size);
            }
        }
        start = stop + 1;
    }
    return 0;
}
