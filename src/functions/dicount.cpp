// DICOUNT: 32 counters that live as long as the library stays loaded. One call decrements,
// increments, resets or stores one counter; the store writes the counter as decimal text into
// a user variable of the host.
#include "functions/dicount.h"

#include "entry/checks.h"
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

// The checks in the order of the row; the operations that the switch below tells apart are
// the letters that the row accepts, and the store's checks belong to S and s.
static_assert(made_in_row_order(dicount::checks, dicount::length, dicount::counter_range,
                                dicount::store_length, dicount::variable_range,
                                dicount::known_operation));
static_assert(letters_exactly(dicount::operation.accepts, "DdIiRrSs"));
static_assert(dicount::store_length.when == &dicount::operation &&
              dicount::variable_range.when == &dicount::operation &&
              letters_exactly(dicount::store_length.when_letters, "Ss") &&
              letters_exactly(dicount::variable_range.when_letters, "Ss"));

int cfr_dicount(const char* record) {
    int32_t number = 0;
    if (length_rejected<dicount::length>(record) ||
        value_rejected<dicount::counter_range>(record, number)) {
        return 0;
    }
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
        int32_t variable = 0;
        if (length_rejected<dicount::store_length>(record) ||
            value_rejected<dicount::variable_range>(record, variable)) {
            return 0;
        }
        store_counter(record, counter, variable);
        break;
    }
    default: notice<dicount::known_operation>(record); break;
    }
    return 0;
}

} // namespace opkit
