// COMPARE: compares the texts of two user variables byte by byte and answers 0 or 1 by the
// record's relation and result mode.
#include "entry/checks.h"
#include "functions/handlers.h"
#include "functions/relation.h"

namespace opkit {

namespace {

constexpr int text_buffer_size = 132;

// The sign of the first difference of the two texts, bytes taken as unsigned; a text that is
// the leading part of the other is the smaller.
int compare_texts(const char* left, const char* right) {
    const auto* l = reinterpret_cast<const unsigned char*>(left);
    const auto* r = reinterpret_cast<const unsigned char*>(right);
    while (*l != 0 && *l == *r) {
        ++l;
        ++r;
    }
    return static_cast<int>(*l) - static_cast<int>(*r);
}

} // namespace

static_assert(made_in_row_order(compare::checks, compare::length, compare::left_read,
                                compare::right_read, compare::known_mode, compare::known_relation));
static_assert(compare::relation2.first == compare::relation.first + 1,
              "a relation's second letter stands in the column after its first");

int cfr_compare(const char* record) {
    if (length_rejected<compare::length>(record)) {
        return 0;
    }
    // The variable numbers reach the host as converted, without a range of their own.
    char left[text_buffer_size];
    if (read_rejected<compare::left_read>(record, left, text_buffer_size)) {
        return 0;
    }
    char right[text_buffer_size];
    if (read_rejected<compare::right_read>(record, right, text_buffer_size)) {
        return 0;
    }
    char mode = '\0';
    Relation relation = Relation::none;
    if (letter_rejected<compare::known_mode>(record, mode) ||
        relation_rejected<compare::known_relation>(record, relation)) {
        return 0;
    }
    const ResultPair pair = result_pair_of(mode);
    return relation_holds(relation, compare_texts(left, right)) ? pair.holds : pair.fails;
}

} // namespace opkit
