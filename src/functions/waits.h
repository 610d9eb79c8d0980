// The wait loops of V_DELAY and WAIT_UV and the seconds count from which WAIT_UV measures
// its timeout.
#pragma once

#include <stdint.h>

namespace opkit {

// Days of a common year before each month; month m (1 to 12) at index m - 1.
extern const int days_before_month[12];

// Waits in passes of 20 ms, n / 3 of them and at least one; ends early after the pass in
// which the abort key is read or the host's idle processing asks to stop.
void delay_with_key_abort(int32_t n);

// Waits until user variable `number` holds text (1), until more than `timeout` whole seconds
// have been counted (0; up to `timeout` + 1 s), or until the abort key or a stop from the
// idle processing (2). After the first wait, waits are never shorter than 20 ms.
int wait_for_user_variable(int32_t number, uint16_t timeout);

// A running count of seconds taken from the host's clock texts: within the years 00 to 99 it
// rises by exactly one per second, midnights, leap days and New Year included. Only
// differences of two counts mean anything. Each count reads the time, the date and the time
// again, and the date once more when the second time shows that midnight passed meanwhile.
uint32_t clock_seconds();

} // namespace opkit
