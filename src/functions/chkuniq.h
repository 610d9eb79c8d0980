// The two uniqueness lists of CHKUNIQ and the check that registers a new value. Each list is
// a ring of ten entries, each entry room for the longest text a user variable holds.
#pragma once

#include <stdint.h>

#include "host/hostlib.h"

namespace opkit {

constexpr int uniq_list_count = 2;
constexpr int uniq_entry_count = 10;
constexpr int uniq_entry_size = HOSTLIB_VARIABLE_MAX + 1; // the text and its NUL

// The entries of both lists; an entry whose first byte is NUL holds the empty text, which
// takes part in every comparison like any other value.
extern char uniq_lists[uniq_list_count][uniq_entry_count][uniq_entry_size];
// Per list, the entry (0 to 9) that the next new value goes to.
extern int uniq_next[uniq_list_count];
// The length of each entry's text, kept beside it so that a check compares characters only
// with entries of the value's own length.
extern uint8_t uniq_lengths[uniq_list_count][uniq_entry_count];
static_assert(uniq_entry_size - 1 <= 255, "an entry's length fits in one byte");

// 0 when `value` equals one of the ten entries of list `list_index` (0 or 1), whole text
// against whole text with case significant; otherwise stores it in the next entry of the
// ring and returns 1.
int uniq_check_and_add(const char* value, int list_index);

} // namespace opkit
