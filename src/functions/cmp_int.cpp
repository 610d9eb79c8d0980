// CMP_INT: converts the texts of two user variables to integers, compares the numbers and
// answers 0, 1 or 2 by the record's relation and result mode.
#include "entry/globals.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "functions/relation.h"
#include "functions/variables.h"
#include "host/runtime.h"
#include "notices/notices.h"

namespace opkit {

constexpr int text_buffer_size = 256;

// A record of the shortest accepted length ends at column 29, one short of the mode letter:
// it reads as NUL there and the call ends with C4.
int cfr_cmp_int(const char* record) {
    if (record_rejected(record, cmp_int::length)) {
        return 0;
    }
    char left[text_buffer_size];
    if (!read_variable(variable_number(record, cmp_int::left), left, text_buffer_size)) {
        cfr_bad_param(record, cmp_int::left_read.code);
        return 0;
    }
    char right[text_buffer_size];
    if (!read_variable(variable_number(record, cmp_int::right), right, text_buffer_size)) {
        cfr_bad_param(record, cmp_int::right_read.code);
        return 0;
    }
    if (record_rejected(record, cmp_int::known_mode) ||
        record_rejected(record, cmp_int::known_relation)) {
        return 0;
    }
    const ResultPair pair = result_pair_of(record_char(record, cmp_int::mode.first));
    const Relation relation = record_relation(record, cmp_int::relation, cmp_int::relation2);
    const int32_t a = text_to_int(left);
    const int32_t b = text_to_int(right);
    const int order = (a < b) ? -1 : (a > b ? 1 : 0);
    return relation_holds(relation, order) ? pair.holds : pair.fails;
}

} // namespace opkit
