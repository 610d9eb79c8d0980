// Dispatch over the function rows, and the reading of the call record header.
#include "entry/dispatch.h"

#include "entry/globals.h"
#include "entry/layouts.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "host/runtime.h"
#include "notices/notices.h"
#include "screen/screen.h"

namespace opkit {

int32_t record_length;
char scratch_text[scratch_size];

namespace {

int run_record(char* record) {
    // The name: seven columns from column 2, ending early at the record's end.
    char name[8];
    record_field_text(record, header_name, name);

    // The length digits pass through scratch_text on their way to record_length.
    record_field_text(record, header_length, scratch_text);
    record_length = text_to_int(scratch_text);

    const int index = dispatch_find(name);
    if (index < 0) {
        cfr_bad_param(record, "M1");
        return 0;
    }
    const Layout& entry = layouts[index];
    const int result = entry.handler(record);
    return entry.returns_result ? result : 0;
}

} // namespace

int dispatch_find(const char* name) {
    for (int i = 0; i < static_cast<int>(count_of(layouts)); ++i) {
        if (text_compare_nocase(name, layouts[i].name) == 0) {
            return i;
        }
    }
    return -1;
}

int opkit_main(int message, char* record) {
    int inner_rows = 0;
    int inner_width = 0;
    uint8_t inner_top = 0;
    uint8_t inner_left = 0;
    switch (static_cast<unsigned>(message)) {
    case 0:
    case 2: popup_window('X', 0, 0, &inner_rows, &inner_width, &inner_top, &inner_left); return 0;
    case 3: return run_record(record);
    case 5: screen_self_test(); return 0;
    default: return 0;
    }
}

} // namespace opkit
