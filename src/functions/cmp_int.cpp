// CMP_INT: converts the texts of two user variables to integers, compares the numbers and
// answers 0, 1 or 2 by the record's relation and result mode.
#include "entry/globals.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "functions/relation.h"
#include "host/runtime.h"
#include "notices/notices.h"

namespace opkit {

namespace {

constexpr int text_buffer_size = 256;

// The host receives the low 8 bits of a variable number: '-1' asks for variable 255.
int variable_number(const char* record, const Field& field) {
    return static_cast<uint8_t>(record_field_int(record, field));
}

} // namespace

int cfr_cmp_int(const char* record) {
    // A record of the shortest accepted length ends at column 29, one short of the mode
    // letter: it reads as NUL there and the call ends with C4.
    if (record_length < cmp_int::min_length) {
        cfr_bad_param(record, "C1");
        return 0;
    }
    char left[text_buffer_size];
    if (!read_operand(variable_number(record, cmp_int::left), left, text_buffer_size)) {
        cfr_bad_param(record, "C2");
        return 0;
    }
    char right[text_buffer_size];
    if (!read_operand(variable_number(record, cmp_int::right), right, text_buffer_size)) {
        cfr_bad_param(record, "C3");
        return 0;
    }
    ResultPair pair{};
    if (!result_pair_of(record_char(record, cmp_int::mode.first), true, &pair)) {
        cfr_bad_param(record, "C4");
        return 0;
    }
    const Relation relation = record_relation(record, cmp_int::relation, cmp_int::relation2);
    if (relation == Relation::none) {
        cfr_bad_param(record, "C5");
        return 0;
    }
    const int32_t a = text_to_int(left);
    const int32_t b = text_to_int(right);
    const int order = (a < b) ? -1 : (a > b ? 1 : 0);
    return relation_holds(relation, order) ? pair.holds : pair.fails;
}

} // namespace opkit
