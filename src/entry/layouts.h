// Column layouts of the call records: one definition of every field, shared by the handlers
// (which read their columns through the record reader) and by the command-line host (which
// explains and composes records). Columns count from 0; the length digits stand in columns
// 0-1 and give the number of characters from column 2 on.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace opkit {

// How a field's characters are read.
enum class FieldKind : uint8_t {
    number, // decimal, read like atoi: blanks, a sign, digits up to the first other character
    letter, // one character compared by value
    text,   // characters compared as a whole (TM_DATE's style)
};

struct Field {
    const char* name;
    uint8_t first; // first column
    uint8_t width; // number of columns
    FieldKind kind;
    const char* meaning;
};

// A requirement on the length digits, as the handler tests it.
struct LengthRule {
    int32_t minimum;    // the record must be at least this long (0: no lower bound)
    int32_t maximum;    // ... and at most this long (0: no upper bound)
    const char* code;   // the notice code when it is not
    const char* applies; // which calls the rule is for
};

struct Layout {
    const char* name;
    const Field* fields;
    size_t field_count;
    const LengthRule* lengths;
    size_t length_count;
};

constexpr Field header_length{"length", 0, 2, FieldKind::number,
                              "record length: characters from column 2 on"};
constexpr Field header_name{"name", 2, 7, FieldKind::text, "function name, any case"};

namespace dicount {
constexpr Field operation{"operation", 10, 1, FieldKind::letter,
                          "D decrement, I increment, R reset, S store (any case)"};
constexpr Field counter{"counter", 20, 2, FieldKind::number, "counter number, 1 to 32"};
constexpr Field variable{"variable", 31, 2, FieldKind::number,
                         "user variable that receives the value (store only), 1 to 19"};
constexpr int32_t min_length = 21;
constexpr int32_t store_min_length = 32;
constexpr Field fields[] = {operation, counter, variable};
constexpr LengthRule lengths[] = {{min_length, 0, "D1", "every operation"},
                                  {store_min_length, 0, "D3", "store"}};
} // namespace dicount

namespace popupwn {
constexpr Field action{"action", 10, 1, FieldKind::letter,
                       "C open a box, R close it, anything else does nothing"};
constexpr Field rows{"rows", 16, 2, FieldKind::number, "body rows of the box (open only), 1 to 16"};
constexpr Field frame{"frame", 24, 1, FieldKind::letter,
                      "N frame in attribute 0, anything else attribute 1 (open only)"};
constexpr int32_t open_min_length = 23;
constexpr int32_t close_min_length = 9;
constexpr Field fields[] = {action, rows, frame};
constexpr LengthRule lengths[] = {{open_min_length, 0, "P2", "open"},
                                  {close_min_length, 0, "P4", "close"}};
} // namespace popupwn

namespace compare {
constexpr Field left{"left", 14, 2, FieldKind::number, "user variable holding the left text"};
constexpr Field relation{"relation", 18, 1, FieldKind::letter, "E equal, N not equal, G or L"};
constexpr Field relation2{"relation2", 19, 1, FieldKind::letter,
                          "after G or L: E (or equal) or T (strictly)"};
constexpr Field right{"right", 25, 2, FieldKind::number, "user variable holding the right text"};
constexpr Field mode{"mode", 37, 1, FieldKind::letter,
                     "N returns 0 when the relation holds, S returns 1"};
constexpr int32_t min_length = 36;
constexpr Field fields[] = {left, relation, relation2, right, mode};
constexpr LengthRule lengths[] = {{min_length, 0, "C1", "every call"}};
} // namespace compare

namespace cmp_int {
constexpr Field left{"left", 12, 2, FieldKind::number,
                     "user variable holding the left number (low 8 bits reach the host)"};
constexpr Field relation{"relation", 16, 1, FieldKind::letter, "E equal, N not equal, G or L"};
constexpr Field relation2{"relation2", 17, 1, FieldKind::letter,
                          "after G or L: E (or equal) or T (strictly)"};
constexpr Field right{"right", 21, 2, FieldKind::number,
                      "user variable holding the right number (low 8 bits reach the host)"};
constexpr Field mode{"mode", 30, 1, FieldKind::letter,
                     "N returns 0 when the relation holds, S returns 1, A returns 2"};
constexpr int32_t min_length = 28;
constexpr Field fields[] = {left, relation, relation2, right, mode};
constexpr LengthRule lengths[] = {{min_length, 0, "C1", "every call"}};
} // namespace cmp_int

namespace intmath {
constexpr Field left{"left", 12, 2, FieldKind::number,
                     "user variable holding the left operand (low 8 bits reach the host)"};
constexpr Field op{"operator", 16, 1, FieldKind::letter, "one of * + - /"};
constexpr Field right{"right", 20, 2, FieldKind::number,
                      "user variable holding the right operand (low 8 bits reach the host)"};
constexpr int32_t min_length = 21;
constexpr int result_variable = 1;
constexpr Field fields[] = {left, op, right};
constexpr LengthRule lengths[] = {{min_length, 0, "C1", "every call"}};
} // namespace intmath

namespace chkuniq {
constexpr Field action{"action", 10, 1, FieldKind::letter,
                       "V verify a value, R reset a list, anything else does nothing"};
constexpr Field variable{"variable", 14, 2, FieldKind::number,
                         "user variable holding the value (verify only)"};
constexpr Field reset_list{"reset_list", 23, 1, FieldKind::number, "list 1 or 2 (reset only)"};
constexpr Field verify_list{"list", 25, 1, FieldKind::number, "list 1 or 2 (verify only)"};
constexpr int32_t verify_min_length = 24;
constexpr int32_t reset_min_length = 22;
constexpr Field fields[] = {action, variable, reset_list, verify_list};
constexpr LengthRule lengths[] = {{verify_min_length, 0, "U2", "verify"},
                                  {reset_min_length, 0, "U5", "reset"}};
} // namespace chkuniq

namespace tm_date {
constexpr Field hours{"hours", 10, 2, FieldKind::number, "hour format, 12 or 24"};
constexpr Field time_variable{"time_variable", 30, 2, FieldKind::number,
                              "user variable that receives the time, 1 to 19"};
constexpr Field style{"style", 35, 4, FieldKind::text,
                      "AMER (MM/DD/YY) or EURO (DD.MM.YY), any case"};
constexpr Field date_variable{"date_variable", 52, 2, FieldKind::number,
                              "user variable that receives the date, 1 to 19"};
constexpr int32_t min_length = 52;
constexpr Field fields[] = {hours, time_variable, style, date_variable};
constexpr LengthRule lengths[] = {{min_length, 0, "E1", "every call"}};
} // namespace tm_date

namespace tranmsg {
constexpr Field switch_letter{"switch", 10, 1, FieldKind::letter,
                              "N switches transaction messages off, anything else on"};
constexpr int32_t min_length = 10;
constexpr Field fields[] = {switch_letter};
constexpr LengthRule lengths[] = {{min_length, 0, "F1", "every call"}};
} // namespace tranmsg

namespace v_delay {
// The count runs from column 10 to the end of the record: length - 8 characters, 0 to 5.
constexpr Field count{"count", 10, 5, FieldKind::number,
                      "delay count N: about 53 ms each (8N/3 passes of 20 ms, at least one)"};
constexpr int32_t count_offset = 8; // characters of the record before the count, from column 2
constexpr int32_t max_length = 13;
constexpr Field fields[] = {count};
constexpr LengthRule lengths[] = {{0, max_length, "V3", "every call"}};
} // namespace v_delay

namespace wait_uv {
constexpr Field variable{"variable", 14, 2, FieldKind::number, "user variable to wait for"};
constexpr Field timeout{"timeout", 21, 3, FieldKind::number,
                        "timeout in seconds (low 16 bits: -1 waits 65535 s)"};
constexpr int32_t min_length = 22;
constexpr Field fields[] = {variable, timeout};
constexpr LengthRule lengths[] = {{min_length, 0, "W2", "every call"}};
} // namespace wait_uv

template <typename T, size_t N> constexpr size_t count_of(const T (&)[N]) { return N; }

#define OPKIT_LAYOUT(label, ns) {label, ns::fields, count_of(ns::fields), ns::lengths, count_of(ns::lengths)}

// Every function's layout, in the order of the dispatch table.
constexpr Layout layouts[] = {
    OPKIT_LAYOUT("DICOUNT", dicount),
    OPKIT_LAYOUT("POPUPWN", popupwn),
    OPKIT_LAYOUT("COMPARE", compare),
    OPKIT_LAYOUT("CMP_INT", cmp_int),
    OPKIT_LAYOUT("INTMATH", intmath),
    OPKIT_LAYOUT("CHKUNIQ", chkuniq),
    OPKIT_LAYOUT("TM_DATE", tm_date),
    OPKIT_LAYOUT("TRANMSG", tranmsg),
    OPKIT_LAYOUT("V_DELAY", v_delay),
    OPKIT_LAYOUT("WAIT_UV", wait_uv),
};
#undef OPKIT_LAYOUT
constexpr size_t layout_count = count_of(layouts);

} // namespace opkit
