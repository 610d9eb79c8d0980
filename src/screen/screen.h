// Formatted screen output and the screen self-test of message 5.
#pragma once

namespace opkit {

// Builds a text from `format` and the arguments into `out` (capacity bytes, the NUL
// included) and, unless `row` is -1, writes it at row/column. 0 on success; 1 when a piece
// did not fit, 2 for a third width digit, 3 for a third precision digit (the text built so
// far is then shown followed by the overflow mark).
int scr_printf(char* out, int capacity, int row, int column, const char* format, ...);

// The cursor, clock and key-code test screen; returns after the key with code 13.
void screen_self_test();

} // namespace opkit
