// The relation and result-mode letters shared by COMPARE and CMP_INT, and the reading of the
// two user variables that both of them (and INTMATH) compare or combine.
#pragma once

#include "entry/layouts.h"

#include <stdint.h>

namespace opkit {

enum class Relation : uint8_t { none, eq, ne, ge, gt, le, lt };

// The values a comparison returns when its relation holds and when it does not.
struct ResultPair {
    int holds;
    int fails;
};

// The relation named by the record's two relation columns, either letter in either case. The
// second column is looked at only after G or L; for E and N it may hold anything. Relation::none
// when the letters name no relation.
Relation record_relation(const char* record, const Field& first, const Field& second);

// The result pair of a mode letter: N gives 0/1, S gives 1/0 and, when `accept_a` is set, A
// gives 2/0 (either case). False for any other letter.
// The results for a mode letter that the function accepts: N answers 0 when the relation
// holds, S answers 1, A answers 2.
ResultPair result_pair_of(char mode);

// Whether `relation` holds for a comparison whose outcome has the sign of `order` (negative:
// left is smaller, zero: equal, positive: left is greater).
bool relation_holds(Relation relation, int order);

// Reads user variable `number` into `buffer` (`size` bytes, at least 132). The buffer holds the
// empty text before the read and is always terminated after it. Both failure answers of the
// host, 1 and 3, give false; any other answer counts as a read.
} // namespace opkit
