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

int record_field_text(const char* record, const Field& field, char* out) {
    return record_columns_text(record, field.first, field.width, out);
}

int32_t record_field_int(const char* record, const Field& field) {
    char text[8];
    record_columns_text(record, field.first, field.width < 8 ? field.width : 7, text);
    return text_to_int(text);
}

namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool is_separator(char c) {
    return c == '\0' || c == ' ' || c == ':';
}

// The next entry of an accepts list after the one at `entry`, or null at the list's end.
const char* next_entry(const char* entry) {
    while (*entry != '\0' && *entry != ' ') {
        ++entry;
    }
    return *entry == ' ' ? entry + 1 : nullptr;
}

// Whether the entry's own spelling (up to ':' or the next entry) equals `text`, ignoring case.
bool entry_is(const char* entry, const char* text) {
    int i = 0;
    for (; !is_separator(entry[i]); ++i) {
        if (upper(text[i]) != upper(entry[i])) {
            return false;
        }
    }
    return text[i] == '\0';
}

bool accepted(const char* accepts, const char* record, const Field& field) {
    char text[8];
    if (field.kind == FieldKind::text) {
        char whole[32];
        record_columns_text(record, field.first, field.width < 32 ? field.width : 31, whole);
        for (const char* e = accepts; e != nullptr; e = next_entry(e)) {
            if (entry_is(e, whole)) {
                return true;
            }
        }
        return false;
    }
    if (field.kind == FieldKind::letter) {
        text[0] = record_char(record, field.first);
        text[1] = '\0';
    }
    const int32_t number = record_field_int(record, field);
    for (const char* e = accepts; e != nullptr; e = next_entry(e)) {
        if (field.kind == FieldKind::letter ? entry_is(e, text) : text_to_int(e) == number) {
            return true;
        }
    }
    return false;
}

// E and N stand alone; G and L need E or T in the next column.
bool relation_named(const char* record, const Field& field) {
    const char first = upper(record_char(record, field.first));
    if (first == 'E' || first == 'N') {
        return true;
    }
    const char second = upper(record_char(record, field.first + 1));
    return (first == 'G' || first == 'L') && (second == 'E' || second == 'T');
}

} // namespace

bool record_field_accepted(const char* record, const Field& field) {
    if (field.accepts != nullptr) {
        return accepted(field.accepts, record, field);
    }
    const int32_t value = record_field_int(record, field);
    return value >= field.low && value <= field.high;
}

bool check_applies(const char* record, const Check& check) {
    if (check.when == nullptr) {
        return true;
    }
    const char letter[2] = {record_char(record, check.when->first), '\0'};
    for (const char* e = check.when_letters; e != nullptr; e = next_entry(e)) {
        if (entry_is(e, letter)) {
            return true;
        }
    }
    return false;
}

bool check_passes(const char* record, int32_t length, const Check& check) {
    switch (check.test) {
    case Test::length_at_least: return length >= check.bound;
    case Test::length_at_most: return length <= check.bound;
    case Test::in_range:
    case Test::one_of: return record_field_accepted(record, *check.field);
    case Test::relation: return relation_named(record, *check.field);
    default: return true; // decided by the host
    }
}

} // namespace opkit
