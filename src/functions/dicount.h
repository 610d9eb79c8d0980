// The 32 counters of DICOUNT, zero when the library is loaded and kept between calls.
#pragma once

#include <stdint.h>

#include "entry/layouts.h"

namespace opkit {

constexpr int counter_count = dicount::counter.high - dicount::counter.low + 1;

// Counter n (1 to 32) is element n-1; only DICOUNT changes them.
extern uint32_t counter_table[counter_count];

} // namespace opkit
