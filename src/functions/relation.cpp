// Relation letters, result modes and operand reads of the comparison and arithmetic functions.
#include "functions/relation.h"

#include "entry/record.h"
#include "host/hostlib.h"

namespace opkit {

namespace {

constexpr int read_bad_number = 1;
constexpr int read_unreadable = 3;

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

bool result_pair_of(char mode, bool accept_a, ResultPair* pair) {
    switch (upper(mode)) {
    case 'N': *pair = {0, 1}; return true;
    case 'S': *pair = {1, 0}; return true;
    case 'A':
        if (!accept_a) {
            return false;
        }
        *pair = {2, 0};
        return true;
    default: return false;
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

bool read_operand(int number, char* buffer, int size) {
    // A host that answers success without writing must leave a defined text behind, and one
    // that overfills the buffer must not leave it unterminated.
    buffer[0] = '\0';
    const int result = _ReadUserVariable(number, buffer);
    buffer[size - 1] = '\0';
    return result != read_bad_number && result != read_unreadable;
}

} // namespace opkit
