// Column reads of call records, bounded by the record's real end.
#include "entry/record.h"

#include "host/runtime.h"

namespace opkit {

char record_char(const char* record, int column) {
    if (record == nullptr || column < 0) {
        return '\0';
    }
    // Walk up to the column so that no byte behind the terminating NUL is ever touched.
    for (int i = 0; i < column; ++i) {
        if (record[i] == '\0') {
            return '\0';
        }
    }
    return record[column];
}

int record_columns_text(const char* record, int first, int width, char* out) {
    int copied = 0;
    if (record != nullptr && first >= 0) {
        // One walk up to the first column (stopping at the NUL), then the copy.
        int column = 0;
        while (column < first && record[column] != '\0') {
            ++column;
        }
        if (column == first) {
            for (; copied < width && record[first + copied] != '\0'; ++copied) {
                out[copied] = record[first + copied];
            }
        }
    }
    out[copied] = '\0';
    return copied;
}

int32_t record_columns_int(const char* record, int first, int width) {
    char text[8];
    record_columns_text(record, first, width < 8 ? width : 7, text);
    return text_to_int(text);
}

} // namespace opkit
