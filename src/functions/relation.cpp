// Relation letters, result modes and operand reads of the comparison and arithmetic functions.
#include "functions/relation.h"

#include "entry/record.h"

namespace opkit {

namespace {

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

Relation record_relation(const char* record, const Field& first, const Field& second) {
    const char letter = upper(record_char(record, first.first));
    switch (letter) {
    case 'E': return Relation::eq;
    case 'N': return Relation::ne;
    case 'G':
    case 'L': {
        const char strictness = upper(record_char(record, second.first));
        if (strictness == 'E') {
            return letter == 'G' ? Relation::ge : Relation::le;
        }
        if (strictness == 'T') {
            return letter == 'G' ? Relation::gt : Relation::lt;
        }
        return Relation::none;
    }
    default: return Relation::none;
    }
}

ResultPair result_pair_of(char mode) {
    switch (upper(mode)) {
    case 'N': return {0, 1};
    case 'A': return {2, 0};
    default: return {1, 0};
    }
}

bool relation_holds(Relation relation, int order) {
    switch (relation) {
    case Relation::eq: return order == 0;
    case Relation::ne: return order != 0;
    case Relation::ge: return order >= 0;
    case Relation::gt: return order > 0;
    case Relation::le: return order <= 0;
    case Relation::lt: return order < 0;
    case Relation::none: break;
    }
    return false;
}

} // namespace opkit
