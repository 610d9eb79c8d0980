// Module globals shared by the dispatcher, the notices and the handlers. All are zero when the
// library is loaded.
#pragma once

#include <stdint.h>

namespace opkit {

constexpr int scratch_size = 160;

// The value of the current record's length digits: its characters from column 2 on.
extern int32_t record_length;
// Shared text buffer; its contents are never relied on across calls.
extern char scratch_text[scratch_size];

} // namespace opkit
