// The relation and result-mode letters shared by COMPARE and CMP_INT.
#pragma once

#include "entry/accepts.h"

#include <stdint.h>

namespace opkit {

enum class Relation : uint8_t { none, eq, ne, ge, gt, le, lt };

// The relation that two adjacent record columns name, either letter in either case: E and N
// stand alone (the second column may hold anything), G and L need E (or equal) or T (strictly)
// in the second. Relation::none when the letters name no relation. The rows' relation test
// and the handlers' reading of the relation are both this function.
constexpr Relation relation_of(char first, char second) {
    const char letter = upper_case(first);
    switch (letter) {
    case 'E': return Relation::eq;
    case 'N': return Relation::ne;
    case 'G':
    case 'L': {
        const char strictness = upper_case(second);
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

// The values a comparison returns when its relation holds and when it does not.
struct ResultPair {
    int holds;
    int fails;
};

// The results for a mode letter that the function accepts: N answers 0 when the relation
// holds, S answers 1, A answers 2 (either case).
ResultPair result_pair_of(char mode);

// Whether `relation` holds for a comparison whose outcome has the sign of `order` (negative:
// left is smaller, zero: equal, positive: left is greater).
bool relation_holds(Relation relation, int order);

} // namespace opkit
