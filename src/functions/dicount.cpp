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

// Writes the counter into user variable `variable`. The text is the counter's 32 bits read as
// a signed number, so 4294967295 is stored as "-1", as the comparison and arithmetic functions
// would read it back.
void store_counter(const char* record, uint32_t counter, int variable) {
    char text[20];
    signed_to_text(static_cast<int32_t>(counter), text);
    if (_WriteUserVariable(variable, text) == HOSTLIB_WRITE_TOO_LONG) {
        cfr_append_too_long(record);
    }
}

} // namespace

int cfr_dicount(const char* record) {
    if (record_rejected(record, dicount::length) ||
        record_rejected(record, dicount::counter_range)) {
        return 0;
    }
    const int32_t number = record_field_int(record, dicount::counter);
    uint32_t& counter = counter_table[number - dicount::counter.low];

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
        if (record_rejected(record, dicount::store_length) ||
            record_rejected(record, dicount::variable_range)) {
            return 0;
        }
        store_counter(record, counter, record_field_int(record, dicount::variable));
        break;
    }
    default: cfr_bad_param(record, dicount::known_operation.code); break;
    }
    return 0;
}

} // namespace opkit
