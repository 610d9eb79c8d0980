// TRANMSG: switches the host's transaction messages off ('N' in column 10, any case) or on
// (any other character). The library keeps no note of the setting.
#include "entry/globals.h"
#include "entry/layouts.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "host/hostlib.h"
#include "notices/notices.h"

namespace opkit {

int cfr_tranmsg(const char* record) {
    if (record_rejected(record, tranmsg::length)) {
        return 0;
    }
    const char letter = record_char(record, tranmsg::switch_letter.first);
    _TransactionMsg(letter == 'N' || letter == 'n' ? 0 : 1);
    return 0;
}

} // namespace opkit
