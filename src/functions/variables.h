// The user-variable reads and writes of the handlers, with the one rule for a failed read and
// the one notice for a refused write, and the plain text compare that the lists and the clock
// readings share.
#pragma once

#include <stdint.h>

namespace opkit {

// Reads user variable `number` into `buffer` (`size` bytes). The buffer always holds one
// terminated text afterwards, "" when the host wrote nothing; false when the host answers
// that it has no such variable or cannot read it.
bool read_variable(int number, char* buffer, int size);

// Writes `text` into user variable `number`; a text the host refuses as too long shows the
// append notice for `record`.
void write_variable(const char* record, int number, const char* text);

// Whether two texts are equal, byte for byte.
bool texts_equal(const char* left, const char* right);

} // namespace opkit
