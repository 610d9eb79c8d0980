// The notices that tell the operator about a bad call record or a refused variable write.
// Both draw on screen rows 0 and 1 and wait for a key before they return.
#pragma once

namespace opkit {

// "Bad CCFR(xx):" with the two-character code and the first 18 characters of the record.
void cfr_bad_param(const char* record, const char* code);

// "CFR append too long:" with the first 12 characters of the record.
void cfr_append_too_long(const char* record);

} // namespace opkit
