// One row per custom function: its name, its handler, the columns of its call record with the
// values each accepts, and the checks its handler makes, in their order, with the notice code
// of each. The handlers read their columns and ranges from here, and the command-line host
// explains, composes and judges records from the same rows. Columns count from 0; the length
// digits stand in columns 0-1 and give the number of characters from column 2 on.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "functions/handlers.h"

namespace opkit {

// The length digits' own columns: the length counts the characters after them.
constexpr int32_t header_columns = 2;

// How a field's characters are read.
enum class FieldKind : uint8_t {
    number, // decimal, read like atoi: blanks, a sign, digits up to the first other character
    letter, // one character compared by value
    text,   // characters compared as a whole, without regard to case
};

// A field and the values it accepts. A number accepts low..high, or, when `accepts` is given,
// the values it lists. A letter or text accepts the entries of `accepts`: entries are separated
// by blanks, each is the letter or word itself, optionally followed by ':' and other spellings
// that the command-line host takes for it ("S:store"). A letter is read in any case.
struct Field {
    const char* name;
    uint8_t first; // first column
    uint8_t width; // number of columns
    FieldKind kind;
    int32_t low;
    int32_t high;
    const char* accepts; // null: any value (a number: low..high)
    const char* meaning;
    // The letters of the function's first field for which the handler reads this field
    // (any case); null: every call reads it.
    const char* read_for = nullptr;
    // Other names that the command-line host takes for the field, separated by blanks (null:
    // none); the field's own name is used when both are given.
    const char* aliases = nullptr;
    // A relation's letter: the field that holds the relation's second letter, in the column
    // after it (null: the field is no relation).
    const Field* pair = nullptr;
    // The field runs from its first column to the record's end as the length digits give it,
    // at most `width` columns (see present_width).
    bool to_end = false;
};

// A field that other names also reach (see Field::aliases).
constexpr Field also_named(Field field, const char* aliases) {
    field.aliases = aliases;
    return field;
}
// A relation letter whose second letter stands in `second`, the next column.
constexpr Field paired_with(Field field, const Field& second) {
    field.pair = &second;
    return field;
}
// A field that fills the record from its first column to the record's end.
constexpr Field to_record_end(Field field) {
    field.to_end = true;
    return field;
}

// The columns of the field that a record of `length` (its length digits) holds: the field's
// width, or for a field that runs to the record's end, what the length leaves it (0 to width).
constexpr int32_t present_width(const Field& field, int32_t length) {
    if (!field.to_end) {
        return field.width;
    }
    const int32_t width = length + header_columns - field.first;
    return width < 0 ? 0 : width > field.width ? field.width : width;
}

// What a check tests.
enum class Test : uint8_t {
    length_at_least, // the length digits are at least `bound`
    length_at_most,  // the length digits are at most `bound`
    in_range,        // the field's number lies within its low..high
    one_of,          // the field holds one of the values it accepts
    relation,        // the field and the next column name a relation (E, N, GE, GT, LE, LT)
    host_read,       // the host reads the user variable that the field names
    host_read_byte,  // ... that the field's low 8 bits name
    host_divisor,    // the variable the field names does not convert to 0 (when dividing)
    host_idle,       // the host's idle work runs here (no notice of its own)
};

// One check of a handler. `when` restricts it to records whose letter field holds one of
// `when_letters` (any case); the check then belongs to that kind of call only.
struct Check {
    const char* code; // the notice when the check fails ("" for host_idle)
    Test test;
    const Field* field;
    int32_t bound;
    const Field* when;
    const char* when_letters;
};

using Handler = int (*)(const char* record);

// What a function does with an accepted record, in the command-line host's terms: which
// description of the call explain gives, and what the full-screen view shows while it runs.
enum class Behaviour : uint8_t {
    counter,           // counts up, down, resets or stores a counter
    popup,             // opens or closes a framed box
    compare_texts,     // compares the texts of two user variables
    compare_numbers,   // compares the low 8 bits of two user variables' numbers
    arithmetic,        // computes from two user variables into a third
    unique_values,     // verifies values against short lists, or empties a list
    clock,             // writes the time and date texts
    transaction,       // switches the host's transaction messages
    delay,             // waits a count of passes
    wait_for_variable, // waits for a user variable to hold text
};

// The host services a handler may ask for, beyond the screen writes and key waits of its
// notices.
enum HostService : uint8_t {
    service_cells = 1U << 0, // reads and writes screen cells, writes text with an attribute
    service_read_variable = 1U << 1,
    service_write_variable = 1U << 2,
    service_idle = 1U << 3,
    service_clock = 1U << 4, // the time and date texts
    service_transaction = 1U << 5,
};

// The user variables a function may write (first > last: none).
struct VariableRange {
    int32_t first;
    int32_t last;
};

struct Layout {
    const char* name;
    Handler handler;
    bool returns_result; // false: the host always receives 0
    uint8_t results;     // bit r set: the handler may answer r
    unsigned services;   // HostService bits
    VariableRange writes;
    Behaviour behaviour;
    const Field* fields;
    size_t field_count;
    const Check* checks;
    size_t check_count;
};

// Fields as the rows write them.
constexpr Field number(const char* name, uint8_t first, uint8_t width, int32_t low, int32_t high,
                       const char* meaning, const char* read_for = nullptr) {
    return {name, first, width, FieldKind::number, low, high, nullptr, meaning, read_for};
}
constexpr Field number_of(const char* name, uint8_t first, uint8_t width, const char* values,
                          const char* meaning) {
    return {name, first, width, FieldKind::number, 0, 0, values, meaning, nullptr};
}
constexpr Field letter(const char* name, uint8_t first, const char* letters, const char* meaning,
                       const char* read_for = nullptr) {
    return {name, first, 1, FieldKind::letter, 0, 0, letters, meaning, read_for};
}
constexpr Field text(const char* name, uint8_t first, uint8_t width, const char* words,
                     const char* meaning) {
    return {name, first, width, FieldKind::text, 0, 0, words, meaning, nullptr};
}

// Length tests read no field.
constexpr Check at_least(const char* code, int32_t bound, const Field* when = nullptr,
                         const char* letters = nullptr) {
    return {code, Test::length_at_least, nullptr, bound, when, letters};
}
constexpr Check test_of(const char* code, Test test, const Field& field,
                        const Field* when = nullptr, const char* letters = nullptr) {
    return {code, test, &field, 0, when, letters};
}

constexpr Field header_length =
    number("length", 0, 2, 0, 99, "record length: characters from column 2 on");
constexpr Field header_name = text("name", 2, 7, nullptr, "function name, any case");

// Every user variable that a call may name; the host refuses the numbers it does not have.
constexpr int32_t variable_low = 1;
constexpr int32_t variable_high = 99;
// The user variables that receive a result.
constexpr int32_t target_low = 1;
constexpr int32_t target_high = 19;

namespace dicount {
constexpr Field operation = letter("operation", 10, "D:decrement I:increment R:reset S:store",
                                   "what to do with the counter");
constexpr Field counter = number("counter", 20, 2, 1, 32, "counter number");
constexpr Field variable = number("variable", 31, 2, target_low, target_high,
                                  "user variable that receives the value (store only)", "S");
constexpr int32_t min_length = 21;
constexpr int32_t store_min_length = 32;
constexpr Check length = at_least("D1", min_length);
constexpr Check counter_range = test_of("D2", Test::in_range, counter);
constexpr Check store_length = at_least("D3", store_min_length, &operation, "S");
constexpr Check variable_range = test_of("D4", Test::in_range, variable, &operation, "S");
constexpr Check known_operation = test_of("D5", Test::one_of, operation);
constexpr Field fields[] = {operation, counter, variable};
constexpr Check checks[] = {length, counter_range, store_length, variable_range, known_operation};
} // namespace dicount

namespace popupwn {
constexpr Field action = letter("action", 10, "C:open R:close",
                                "C opens a box, R closes it, any other letter does nothing");
constexpr Field rows = number("rows", 16, 2, 1, 16, "body rows of the box (open only)", "C");
constexpr Field frame =
    letter("frame", 24, "N:normal:0 R:reverse:1",
           "N frame in attribute 0, anything else attribute 1 (open only)", "C");
constexpr int32_t open_min_length = 23;
constexpr int32_t close_min_length = 9;
constexpr Check open_length = at_least("P2", open_min_length, &action, "C");
constexpr Check rows_range = test_of("P3", Test::in_range, rows, &action, "C");
constexpr Check close_length = at_least("P4", close_min_length, &action, "R");
constexpr Field fields[] = {action, rows, frame};
constexpr Check checks[] = {open_length, rows_range, close_length};
} // namespace popupwn

// The relation letters and result modes of COMPARE and CMP_INT.
constexpr const char* relation_letters = "E N G L";
constexpr const char* strictness_letters = "E T";

namespace compare {
constexpr Field left =
    number("left", 14, 2, variable_low, variable_high, "user variable holding the left text");
constexpr Field relation2 =
    letter("relation2", 19, strictness_letters, "after G or L: E (or equal) or T (strictly)");
constexpr Field relation = paired_with(
    letter("relation", 18, relation_letters, "E equal, N not equal, G or L"), relation2);
constexpr Field right =
    number("right", 25, 2, variable_low, variable_high, "user variable holding the right text");
constexpr Field mode =
    letter("mode", 37, "N S", "N returns 0 when the relation holds, S returns 1");
constexpr int32_t min_length = 36;
constexpr Check length = at_least("C1", min_length);
constexpr Check left_read = test_of("C2", Test::host_read, left);
constexpr Check right_read = test_of("C3", Test::host_read, right);
constexpr Check known_mode = test_of("C4", Test::one_of, mode);
constexpr Check known_relation = test_of("C5", Test::relation, relation);
constexpr Field fields[] = {left, relation, relation2, right, mode};
constexpr Check checks[] = {length, left_read, right_read, known_mode, known_relation};
} // namespace compare

namespace cmp_int {
constexpr Field left = number("left", 12, 2, variable_low, variable_high,
                              "user variable holding the left number (low 8 bits reach the host)");
constexpr Field relation2 =
    letter("relation2", 17, strictness_letters, "after G or L: E (or equal) or T (strictly)");
constexpr Field relation = paired_with(
    letter("relation", 16, relation_letters, "E equal, N not equal, G or L"), relation2);
constexpr Field right =
    number("right", 21, 2, variable_low, variable_high,
           "user variable holding the right number (low 8 bits reach the host)");
constexpr Field mode =
    letter("mode", 30, "N S A", "N returns 0 when the relation holds, S returns 1, A returns 2");
constexpr int32_t min_length = 28;
constexpr Check length = at_least("C1", min_length);
constexpr Check left_read = test_of("C2", Test::host_read_byte, left);
constexpr Check right_read = test_of("C3", Test::host_read_byte, right);
constexpr Check known_mode = test_of("C4", Test::one_of, mode);
constexpr Check known_relation = test_of("C5", Test::relation, relation);
constexpr Field fields[] = {left, relation, relation2, right, mode};
constexpr Check checks[] = {length, left_read, right_read, known_mode, known_relation};
} // namespace cmp_int

namespace intmath {
constexpr Field left = number("left", 12, 2, variable_low, variable_high,
                              "user variable holding the left operand (low 8 bits reach the host)");
constexpr Field op = letter("operator", 16, "*:times +:plus -:minus /:divide",
                            "the operation; the result goes to user variable 1");
constexpr Field right =
    number("right", 20, 2, variable_low, variable_high,
           "user variable holding the right operand (low 8 bits reach the host)");
constexpr int result_variable = 1;
constexpr int32_t min_length = 21;
constexpr Check length = at_least("C1", min_length);
constexpr Check left_read = test_of("C2", Test::host_read_byte, left);
constexpr Check right_read = test_of("C3", Test::host_read_byte, right);
constexpr Check known_operator = test_of("C5", Test::one_of, op);
constexpr Check divisor = test_of("C6", Test::host_divisor, right, &op, "/");
constexpr Field fields[] = {left, op, right};
constexpr Check checks[] = {length, left_read, right_read, known_operator, divisor};
} // namespace intmath

namespace chkuniq {
constexpr Field action =
    letter("action", 10, "V:verify R:reset",
           "V verifies a value, R resets a list, any other letter does nothing");
constexpr Field variable = number("variable", 14, 2, variable_low, variable_high,
                                  "user variable holding the value (verify only)", "V");
constexpr Field reset_list = also_named(
    number("reset_list", 23, 1, 1, 2, "list to empty (reset only; compose also takes list=)", "R"),
    "list");
constexpr Field verify_list = number("list", 25, 1, 1, 2, "list to look in (verify only)", "V");
constexpr int32_t verify_min_length = 24;
constexpr int32_t reset_min_length = 22;
constexpr Check verify_length = at_least("U2", verify_min_length, &action, "V");
constexpr Check value_read = test_of("U3", Test::host_read, variable, &action, "V");
constexpr Check verify_list_range = test_of("U4", Test::in_range, verify_list, &action, "V");
constexpr Check reset_length = at_least("U5", reset_min_length, &action, "R");
constexpr Check reset_list_range = test_of("U4", Test::in_range, reset_list, &action, "R");
constexpr Field fields[] = {action, variable, reset_list, verify_list};
constexpr Check checks[] = {verify_length, value_read, verify_list_range, reset_length,
                            reset_list_range};
} // namespace chkuniq

namespace tm_date {
constexpr Field hours = number_of("hours", 10, 2, "12 24", "hour format");
constexpr Field time_variable =
    number("time_variable", 30, 2, target_low, target_high, "user variable that receives the time");
constexpr Field style =
    text("style", 35, 4, "AMER EURO", "AMER (MM/DD/YY) or EURO (DD.MM.YY), any case");
constexpr Field date_variable =
    number("date_variable", 52, 2, target_low, target_high, "user variable that receives the date");
constexpr int32_t min_length = 52;
constexpr Check length = at_least("E1", min_length);
constexpr Check time_range = test_of("E2", Test::in_range, time_variable);
constexpr Check date_range = test_of("E3", Test::in_range, date_variable);
constexpr Check idle = test_of("", Test::host_idle, hours);
constexpr Check known_hours = test_of("E4", Test::one_of, hours);
constexpr Check known_style = test_of("E5", Test::one_of, style);
constexpr Field fields[] = {hours, time_variable, style, date_variable};
constexpr Check checks[] = {length, time_range, date_range, idle, known_hours, known_style};
} // namespace tm_date

namespace tranmsg {
constexpr Field switch_letter =
    letter("switch", 10, "N:off Y:on", "N switches transaction messages off, anything else on");
constexpr int32_t min_length = 10;
constexpr Check length = at_least("F1", min_length);
constexpr Field fields[] = {switch_letter};
constexpr Check checks[] = {length};
} // namespace tranmsg

namespace v_delay {
// The count runs from column 10 to the end of the record: length - 8 characters, 0 to 5.
constexpr Field count =
    to_record_end(number("count", 10, 5, 0, 99999,
                         "delay count N: about 53 ms each (8N/3 passes of 20 ms, at least one)"));
constexpr int32_t count_offset = count.first - header_columns; // the record before the count
constexpr int32_t max_length = count_offset + count.width;
// A count of N waits 8N/3 passes of 20 ms, at least one.
constexpr int32_t units_per_count = 8;
constexpr int32_t units_per_pass = 3;
constexpr uint32_t pass_ms = 20;
constexpr int64_t passes(int32_t delay_count) {
    const int64_t made = int64_t{units_per_count} * delay_count / units_per_pass;
    return made < 1 ? 1 : made;
}
constexpr Check length{"V3", Test::length_at_most, nullptr, max_length, nullptr, nullptr};
constexpr Field fields[] = {count};
constexpr Check checks[] = {length};
} // namespace v_delay

namespace wait_uv {
constexpr Field variable =
    number("variable", 14, 2, variable_low, variable_high, "user variable to wait for");
constexpr Field timeout =
    number("timeout", 21, 3, -99, 999,
           "timeout in seconds (its low 16 bits: -1 waits 65535 s, -99 waits 65437 s)");
constexpr int32_t min_length = 22;
constexpr Check length = at_least("W2", min_length);
constexpr Check variable_read = test_of("W3", Test::host_read, variable);
constexpr Field fields[] = {variable, timeout};
constexpr Check checks[] = {length, variable_read};
} // namespace wait_uv

template <typename T, size_t N> constexpr size_t count_of(const T (&)[N]) {
    return N;
}

#define OPKIT_ROW(label, ns, handler, returns, results, services, writes, behaviour)               \
    {                                                                                              \
        label, handler, returns, results, services, writes, Behaviour::behaviour, ns::fields,      \
            count_of(ns::fields), ns::checks, count_of(ns::checks)                                 \
    }

constexpr VariableRange no_writes{1, 0};
constexpr VariableRange tm_date_target{tm_date::time_variable.low, tm_date::time_variable.high};
constexpr VariableRange dicount_target{dicount::variable.low, dicount::variable.high};
constexpr VariableRange intmath_target{intmath::result_variable, intmath::result_variable};

// The functions, one row each. A call finds its row by name in one step (dispatch_find in
// entry/dispatch.cpp, whose name slots are worked out from these rows when the library is
// compiled, and refuse two rows of one name); the order is only the rows' index. DICOUNT and
// POPUPWN always hand the host 0.
constexpr Layout layouts[] = {
    OPKIT_ROW("DICOUNT", dicount, cfr_dicount, false, 0b001, service_write_variable, dicount_target,
              counter),
    OPKIT_ROW("POPUPWN", popupwn, cfr_popupwn, false, 0b001, service_cells, no_writes, popup),
    OPKIT_ROW("COMPARE", compare, cfr_compare, true, 0b011, service_read_variable, no_writes,
              compare_texts),
    OPKIT_ROW("CMP_INT", cmp_int, cfr_cmp_int, true, 0b111, service_read_variable, no_writes,
              compare_numbers),
    OPKIT_ROW("INTMATH", intmath, cfr_intmath, true, 0b001,
              service_read_variable | service_write_variable, intmath_target, arithmetic),
    OPKIT_ROW("CHKUNIQ", chkuniq, cfr_chkuniq, true, 0b011, service_read_variable, no_writes,
              unique_values),
    OPKIT_ROW("TM_DATE", tm_date, cfr_tm_date, true, 0b001,
              service_idle | service_clock | service_write_variable, tm_date_target, clock),
    OPKIT_ROW("TRANMSG", tranmsg, cfr_tranmsg, true, 0b001, service_transaction, no_writes,
              transaction),
    OPKIT_ROW("V_DELAY", v_delay, cfr_v_delay, true, 0b001, service_idle, no_writes, delay),
    OPKIT_ROW("WAIT_UV", wait_uv, cfr_wait_uv, true, 0b111,
              service_read_variable | service_idle | service_clock, no_writes, wait_for_variable),
};
#undef OPKIT_ROW

} // namespace opkit
