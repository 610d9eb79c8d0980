// Formatted screen output and the screen self-test of message 5: the formatter `scr_printf`,
// its helpers for number fields, conversion state and the overflow mark, and the test screen.
#pragma once

#include <stdint.h>

namespace opkit {

// Width and precision have at most two digits each, so a number field is at most 99
// characters wide; the field holds that and its NUL.
constexpr int conversion_digits_max = 2;
constexpr int number_field_size = 100;

// The overflow mark shown behind the text built so far when the formatter fails: "***" at
// load, the middle character then holding the code of the latest failure ('*', '1' or '2').
extern char overflow_mark[4];

// The state of one conversion in a format, cleared before each search for the next '%'.
struct Conversion {
    int width;                                    // value of the width digits, 0 when none
    int precision;                                // value of the precision digits, 0 when none
    char width_digits[conversion_digits_max + 1]; // as typed; a leading '0' asks for zero fill
    char precision_digits[conversion_digits_max + 1];
    char letter;     // the conversion letter; 0 until one ends the conversion
    char size;       // 'h', 'l' or 'L', the last one read; no effect on the output
    char point_seen; // 1 after ',' or '.': further digits are precision digits
    char left;       // 1 after '-'
    char space;      // 1 after ' '
    char plus;       // 1 after '+'
};

// Builds a text from `format` and the arguments into `out` (capacity bytes, the NUL
// included) and, unless `row` is -1, writes it at row/column. 0 on success; 1 when a piece
// did not fit, 2 for a third width digit, 3 for a third precision digit (the text built so
// far is then shown followed by the overflow mark).
int scr_printf(char* out, int capacity, int row, int column, const char* format, ...);

// Writes the padded text of one number conversion (d, i, o, u, x, X) into `field`
// (number_field_size bytes), laid out by the conversion's letter, size, flags, width and
// width digits (a leading '0' chooses zero fill). The signed pair is read for d, i, o, x and
// X, the unsigned pair for u; of each pair the long member when the size is 'l'.
void format_number(const Conversion& conversion, int32_t int_value, int32_t long_value,
                   uint32_t unsigned_value, uint32_t unsigned_long_value, char* field);

// Clears every item of one conversion's state: empty digit texts, no letters, no flags,
// width and precision 0.
void reset_conversion(Conversion* conversion);

// Stores `code` in the middle of the overflow mark and, unless `row` is -1, writes `text`
// at row/column with the mark directly behind it (its column taken modulo 256).
void show_overflow_mark(char code, const char* text, int row, int column);

// The cursor, clock and key-code test screen; returns after the key with code 13.
void screen_self_test();

} // namespace opkit
