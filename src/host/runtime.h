// The text and number conversions that the handlers need of the system runtime, with one
// behaviour on every build: the conversions are defined for every input, and the
// case-insensitive compare comes from the C runtime on Windows and from hostlib elsewhere.
#pragma once

#include <stdint.h>

namespace opkit {

// Decimal value of a text as atoi reads it: leading white space, an optional sign, digits up
// to the first other character, 0 when there are none. A value outside the signed 32-bit
// range gives INT32_MIN or INT32_MAX.
int32_t text_to_int(const char* text);

// The value of the first `count` characters of `text` (fewer when the text ends before them),
// read as text_to_int reads a text: the value that text_to_int gives for a copy of those
// characters, without the copy. `count` is at most 9, so that no value saturates.
int32_t short_text_to_int(const char* text, int count);

// Writes the signed decimal text of `value` (a minus sign, no leading zeros) and a NUL into
// `out`, which holds at least 12 bytes. Returns the text's length.
int signed_to_text(int32_t value, char* out);

// 0 when the two texts are equal but for the case of ASCII letters.
int text_compare_nocase(const char* left, const char* right);

// Length of a NUL-terminated text.
int text_length(const char* text);

} // namespace opkit
