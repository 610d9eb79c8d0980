// COMPARE: compares the texts of two user variables byte by byte and answers 0 or 1 by the
// record's relation and result mode.
#include "entry/globals.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "functions/relation.h"
#include "functions/variables.h"
#include "notices/notices.h"

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

int cfr_compare(const char* record) {
    if (record_rejected(record, compare::length)) {
        return 0;
    }
    // The variable numbers reach the host as converted, without a range of their own.
    char left[text_buffer_size];
    if (!read_variable(record_field_int(record, compare::left), left, text_buffer_size)) {
        cfr_bad_param(record, compare::left_read.code);
        return 0;
    }
    char right[text_buffer_size];
    if (!read_variable(record_field_int(record, compare::right), right, text_buffer_size)) {
        cfr_bad_param(record, compare::right_read.code);
        return 0;
    }
    if (record_rejected(record, compare::known_mode) ||
        record_rejected(record, compare::known_relation)) {
        return 0;
    }
    const ResultPair pair = result_pair_of(record_char(record, compare::mode.first));
    const Relation relation = record_relation(record, compare::relation, compare::relation2);
    return relation_holds(relation, compare_texts(left, right)) ? pair.holds : pair.fails;
}

} // namespace opkit
