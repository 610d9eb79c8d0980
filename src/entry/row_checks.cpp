// The checks of the function rows judged one at a time, as opkit-host explains and warns
// about records. The handlers make the same checks in the form compiled from the rows
// (entry/checks.h); this file is apart from the column reads so that the library, which
// never calls it, is linked without it.
#include "entry/accepts.h"
#include "entry/record.h"
#include "functions/relation.h"

namespace opkit {

namespace {

bool accepted(const char* accepts, const char* record, const Field& field) {
    if (field.kind == FieldKind::text) {
        char whole[32];
        record_columns_text(record, field.first, field.width < 32 ? field.width : 31, whole);
        return list_has_text(accepts, whole);
    }
    if (field.kind == FieldKind::letter) {
        return list_has_letter(accepts, record_char(record, field.first));
    }
    const int32_t number = record_field_int(record, field);
    for (const char* e = accepts; e != nullptr; e = next_entry(e)) {
        if (decimal_value(e) == number) {
            return true;
        }
    }
    return false;
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
    return list_has_letter(check.when_letters, record_char(record, check.when->first));
}

bool check_passes(const char* record, int32_t length, const Check& check) {
    switch (check.test) {
    case Test::length_at_least: return length >= check.bound;
    case Test::length_at_most: return length <= check.bound;
    case Test::in_range:
    case Test::one_of: return record_field_accepted(record, *check.field);
    case Test::relation: {
        char columns[3] = {};
        record_columns_text(record, check.field->first, 2, columns);
        return relation_of(columns[0], columns[1]) != Relation::none;
    }
    default: return true; // decided by the host
    }
}

} // namespace opkit
