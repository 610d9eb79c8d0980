// Column reads of call records, bounded by the record's real end.
#include "entry/record.h"

#include "host/runtime.h"

namespace opkit {

namespace {

// The record from `column` on, when the record reaches that column; null when it ends before
// it (or there is no record). Every byte before the column is looked at, four at a time, and
// each only once those before it were found not to be the NUL: no byte behind the NUL is ever
// touched.
const char* reach(const char* record, int column) {
    if (record == nullptr || column < 0) {
        return nullptr;
    }
    int i = 0;
    for (; i + 4 <= column; i += 4) {
        if (record[i] == '\0' || record[i + 1] == '\0' || record[i + 2] == '\0' ||
            record[i + 3] == '\0') {
            return nullptr;
        }
    }
    for (; i < column; ++i) {
        if (record[i] == '\0') {
            return nullptr;
        }
    }
    return record + column;
}

} // namespace

char record_char(const char* record, int column) {
    const char* at = reach(record, column);
    return at != nullptr ? *at : '\0';
}

int record_columns_text(const char* record, int first, int width, char* out) {
    int copied = 0;
    if (const char* at = reach(record, first)) {
        for (; copied < width && at[copied] != '\0'; ++copied) {
            out[copied] = at[copied];
        }
    }
    out[copied] = '\0';
    return copied;
}

int32_t record_columns_int(const char* record, int first, int width) {
    const char* at = reach(record, first);
    return at != nullptr ? short_text_to_int(at, width < 8 ? width : 7) : 0;
}

} // namespace opkit
