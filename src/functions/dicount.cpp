// DICOUNT: 32 counters that live as long as the library stays loaded. One call decrements,
// increments, resets or stores one counter; the store writes the counter as decimal text into
// a user variable of the host.
#include "functions/dicount.h"

#include "entry/globals.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "host/hostlib.h"
#include "host/runtime.h"
#include "notices/notices.h"

namespace opkit {

uint32_t counter_table[counter_count];

namespace {

constexpr int first_store_variable = 1;
constexpr int last_store_variable = 19;
constexpr int write_too_long = 5;

// Writes the counter into user variable `variable`. The text is the counter's 32 bits read as
// a signed number, so 4294967295 is stored as "-1", as the comparison and arithmetic functions
// would read it back.
void store_counter(const char* record, uint32_t counter, int variable) {
    char text[20];
    signed_to_text(static_cast<int32_t>(counter), text);
    if (_WriteUserVariable(variable, text) == write_too_long) {
        cfr_append_too_long(record);
    }
}

} // namespace

int cfr_dicount(const char* record) {
    if (record_length < dicount::min_length) {
        cfr_bad_param(record, "D1");
        return 0;
    }
    const int32_t number = record_field_int(record, dicount::counter);
    if (number < 1 || number > counter_count) {
        cfr_bad_param(record, "D2");
        return 0;
    }
    uint32_t& counter = counter_table[number - 1];

    const char letter = record_char(record, dicount::operation.first);
    switch (letter) {
    case 'D':
    case 'd':
        // A counter never goes below 0.
        if (counter != 0) {
            --counter;
        }
        break;
    case 'I':
    case 'i':
        ++counter; // wraps from 4294967295 to 0
        break;
    case 'R':
    case 'r': counter = 0; break;
    case 'S':
    case 's': {
        if (record_length < dicount::store_min_length) {
            cfr_bad_param(record, "D3");
            return 0;
        }
        const int32_t variable = record_field_int(record, dicount::variable);
        if (variable < first_store_variable || variable > last_store_variable) {
            cfr_bad_param(record, "D4");
            return 0;
        }
        store_counter(record, counter, variable);
        break;
    }
    default: cfr_bad_param(record, "D5"); break;
    }
    return 0;
}

} // namespace opkit
