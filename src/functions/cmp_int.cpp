// CMP_INT: converts the texts of two user variables to integers, compares the numbers and
// answers 0, 1 or 2 by the record's relation and result mode.
#include "entry/checks.h"
#include "functions/handlers.h"
#include "functions/relation.h"
#include "host/runtime.h"

namespace opkit {

constexpr int text_buffer_size = 256;

static_assert(made_in_row_order(cmp_int::checks, cmp_int::length, cmp_int::left_read,
                                cmp_int::right_read, cmp_int::known_mode, cmp_int::known_relation));
static_assert(cmp_int::relation2.first == cmp_int::relation.first + 1,
              "a relation's second letter stands in the column after its first");

// A record of the shortest accepted length ends at column 29, one short of the mode letter:
// it reads as NUL there and the call ends with C4.
int cfr_cmp_int(const char* record) {
    if (length_rejected<cmp_int::length>(record)) {
        return 0;
    }
    char left[text_buffer_size];
    if (read_rejected<cmp_int::left_read>(record, left, text_buffer_size)) {
        return 0;
    }
    char right[text_buffer_size];
    if (read_rejected<cmp_int::right_read>(record, right, text_buffer_size)) {
        return 0;
    }
    char mode = '\0';
    Relation relation = Relation::none;
    if (letter_rejected<cmp_int::known_mode>(record, mode) ||
        relation_rejected<cmp_int::known_relation>(record, relation)) {
        return 0;
    }
    const ResultPair pair = result_pair_of(mode);
    const int32_t a = text_to_int(left);
    const int32_t b = text_to_int(right);
    const int order = (a < b) ? -1 : (a > b ? 1 : 0);
    return relation_holds(relation, order) ? pair.holds : pair.fails;
}

} // namespace opkit
