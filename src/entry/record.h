// The one door through which call records are read. A record is a NUL-terminated text whose
// length digits may claim more characters than it holds; every column is read here, and a
// column at or past the terminating NUL reads as NUL, so no handler reads past the record.
#pragma once

#include "entry/layouts.h"

#include <stdint.h>

namespace opkit {

// The character in `column`, or NUL when the record ends before it (or there is no record).
char record_char(const char* record, int column);

// Copies `width` columns from `first` into `out` (at least width + 1 bytes), stopping early at
// the record's end, and terminates the text. Returns the number of characters copied.
int record_columns_text(const char* record, int first, int width, char* out);

// The value of `width` columns from `first` (at most 7), converted as a decimal text (see
// text_to_int).
int32_t record_columns_int(const char* record, int first, int width);

// Copies the field's columns into `out` (at least field.width + 1 bytes), stopping early at
// the record's end, and terminates the text. Returns the number of characters copied.
inline int record_field_text(const char* record, const Field& field, char* out) {
    return record_columns_text(record, field.first, field.width, out);
}

// The field's value, converted as a decimal text (see text_to_int); a field wider than seven
// columns is read from its first seven.
inline int32_t record_field_int(const char* record, const Field& field) {
    return record_columns_int(record, field.first, field.width < 8 ? field.width : 7);
}

// The checks as the rows state them, judged one at a time: what the command-line host uses to
// explain and warn about a record. The handlers make the same checks in the form compiled from
// the rows (entry/checks.h).

// Whether the field holds a value it accepts: a number within its range or among the values
// it lists, a letter (any case) or a text (any case) among its entries.
bool record_field_accepted(const char* record, const Field& field);

// Whether the check belongs to this record's kind of call (a check without `when` always does).
bool check_applies(const char* record, const Check& check);

// Whether a record of this length passes a check that the record alone decides; a check that
// depends on the host's answers passes here.
bool check_passes(const char* record, int32_t length, const Check& check);

} // namespace opkit
