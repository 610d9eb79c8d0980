// TRANMSG: switches the host's transaction messages off ('N' in column 10, any case) or on
// (any other character). The library keeps no note of the setting.
#include "entry/checks.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "host/hostlib.h"

namespace opkit {

static_assert(made_in_row_order(tranmsg::checks, tranmsg::length));

int cfr_tranmsg(const char* record) {
    if (length_rejected<tranmsg::length>(record)) {
        return 0;
    }
    const char letter = record_char(record, tranmsg::switch_letter.first);
    _TransactionMsg(letter == 'N' || letter == 'n' ? 0 : 1);
    return 0;
}

} // namespace opkit
