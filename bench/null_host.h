// A host whose services return at once: the call-cost benchmarks link the plug-in's sources
// against it, so that what they time is the library's own work and not an emulator's. It keeps
// just enough state to serve a success path (user variable texts, fixed clock texts) and
// counts every service call so that a benchmark can prove which path it timed.
#pragma once

#include <stdint.h>

namespace nullhost {

enum class Call : uint8_t {
    write_text,
    write_text_attribute,
    read_cells,
    write_cells,
    set_cursor_position,
    set_cursor_type,
    read_key,
    wait_event,
    idle,
    time,
    date,
    read_variable,
    write_variable,
    transaction,
};
constexpr int call_kinds = static_cast<int>(Call::transaction) + 1;

// Variables 1 to 99, as on the emulated host; others answer the bad-number result.
constexpr int first_variable = 1;
constexpr int last_variable = 99;

// Every variable empty, every count zero.
void reset();

// Sets a variable's text (cut to the host's 131 characters).
void set_variable(int number, const char* text);
// The variable's text; "" for a number outside the host's range.
const char* variable(int number);

uint64_t calls(Call call);
// Parameter notices shown since the last reset (writes that begin "Bad CCFR").
uint64_t notices();
// The code of the last parameter notice since the last reset (the two characters written
// into its parentheses, row 0 column 9); "" when none was shown.
const char* last_notice_code();
// The last value handed to the transaction-message switch; -1 before the first.
int last_transaction();

// The service log: between start_log() and stop_log() every service call is kept with its
// arguments; stop_log() answers how many (-1 when the log overflowed). replay() makes the
// logged calls again, in order, so that a benchmark can time the host's own share of a call.
void start_log();
int stop_log();
void replay();

// The clock texts the host hands out: time format 2 "143005", format 1 "023005PM",
// date format 1 "120526", format 3 "260512".

} // namespace nullhost
