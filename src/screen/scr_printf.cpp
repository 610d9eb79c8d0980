// The formatter: builds a text from a format and its arguments into a caller's buffer of
// fixed capacity and writes it on the screen, or, when a piece does not fit or a width or
// precision has a third digit, shows the text built so far followed by the overflow mark.
#include "screen/screen.h"

#include <stdarg.h>
#include <string.h>

#include "host/hostlib.h"
#include "host/runtime.h"

namespace opkit {

char overflow_mark[4] = "***";

namespace {

// What one character of a conversion does.
enum class Kind : uint8_t { other, space, plus, minus, point, digit, size, conversion };

struct KindTable {
    Kind of[256];
};

constexpr KindTable make_kind_table() {
    KindTable table{};
    table.of[static_cast<unsigned char>(' ')] = Kind::space;
    table.of[static_cast<unsigned char>('+')] = Kind::plus;
    table.of[static_cast<unsigned char>('-')] = Kind::minus;
    table.of[static_cast<unsigned char>(',')] = Kind::point;
    table.of[static_cast<unsigned char>('.')] = Kind::point;
    for (char c = '0'; c <= '9'; ++c) {
        table.of[static_cast<unsigned char>(c)] = Kind::digit;
    }
    for (const char* c = "hlL"; *c != '\0'; ++c) {
        table.of[static_cast<unsigned char>(*c)] = Kind::size;
    }
    for (const char* c = "diouxXcsnp"; *c != '\0'; ++c) {
        table.of[static_cast<unsigned char>(*c)] = Kind::conversion;
    }
    return table;
}

// Every character is classified once, by one look-up.
constexpr KindTable kinds = make_kind_table();

// Results of the formatter, by the middle character of the overflow mark.
constexpr char code_no_room = '*';
constexpr char code_width_digits = '1';
constexpr char code_precision_digits = '2';

constexpr char spaces[] = "                                                                "
                          "                                   "; // 99 spaces
static_assert(sizeof(spaces) - 1 == number_field_size - 1);

// The text being built: its length is tracked, never measured again, and it stays
// NUL-terminated after every append.
struct Text {
    char* out;
    int capacity;
    int length;

    // Whether `count` more characters still leave room for the NUL.
    bool room_for(int64_t count) const {
        return static_cast<int64_t>(length) + count < static_cast<int64_t>(capacity);
    }
    void put(const char* piece, int count) {
        memcpy(out + length, piece, static_cast<size_t>(count));
        length += count;
        out[length] = '\0';
    }
    void pad(int count) {
        // A pad is never wider than a two-digit width, so one run of spaces serves all.
        put(spaces, count);
    }
};

// The value of at most two decimal digits as typed; 0 when there are none.
int digits_value(const char* digits) {
    if (digits[0] == '\0') {
        return 0;
    }
    if (digits[1] == '\0') {
        return digits[0] - '0';
    }
    return (digits[0] - '0') * 10 + (digits[1] - '0');
}

// Appends a digit to a width or precision text; false when it already holds two.
bool add_digit(char* digits, char digit) {
    for (int i = 0; i < conversion_digits_max; ++i) {
        if (digits[i] == '\0') {
            digits[i] = digit;
            return true;
        }
    }
    return false;
}

int result_of(char code) {
    switch (code) {
    case code_width_digits: return 2;
    case code_precision_digits: return 3;
    default: return 1;
    }
}

void write_text(const char* text, int length, int row, int column, uint16_t* word) {
    _VioWrtCharStr(text, static_cast<uint16_t>(length), static_cast<uint8_t>(row),
                   static_cast<uint8_t>(column), word, 0);
}

// Number digits. The count comes from the value's magnitude (its bit width), so that the
// field is sized before any digit is made; decimal digits are then made two at a time from a
// table of the hundred pairs, hexadecimal and octal ones by shifts. A zero has one digit.
constexpr char digit_pairs[] = "00010203040506070809101112131415161718192021222324252627282930"
                               "31323334353637383940414243444546474849505152535455565758596061"
                               "62636465666768697071727374757677787980818283848586878889909192"
                               "93949596979899";
static_assert(sizeof(digit_pairs) == 201);

constexpr uint32_t powers_of_ten[] = {1U,      10U,      100U,      1000U,      10000U,
                                      100000U, 1000000U, 10000000U, 100000000U, 1000000000U};

// The number of significant bits of a value that is not 0 (the compiler's count of leading
// zeros is one instruction on every target).
int bit_width(uint32_t nonzero) {
    return 32 - __builtin_clz(nonzero);
}

int decimal_digits(uint32_t value) {
    // 1233 / 4096 is just above log10(2): the estimate is the count or one more than it.
    const uint32_t nonzero = value | 1U;
    const int estimate = (bit_width(nonzero) * 1233) >> 12;
    return estimate + 1 - (nonzero < powers_of_ten[estimate] ? 1 : 0);
}

int hex_digits(uint32_t value) {
    return (bit_width(value | 1U) + 3) / 4;
}

int octal_digits(uint32_t value) {
    return (bit_width(value | 1U) + 2) / 3;
}

// Each writer fills the digits backwards from `end`, the place just behind the last digit.
void put_decimal(uint32_t value, char* end) {
    while (value >= 100U) {
        const uint32_t pair = value % 100U;
        value /= 100U;
        end -= 2;
        memcpy(end, digit_pairs + pair * 2U, 2);
    }
    if (value >= 10U) {
        memcpy(end - 2, digit_pairs + value * 2U, 2);
    } else {
        end[-1] = static_cast<char>('0' + value);
    }
}

void put_hex(uint32_t value, char* end, int count, const char* hex) {
    for (int i = 1; i <= count; ++i) {
        end[-i] = hex[value & 15U];
        value >>= 4;
    }
}

void put_octal(uint32_t value, char* end, int count) {
    for (int i = 1; i <= count; ++i) {
        end[-i] = static_cast<char>('0' + (value & 7U));
        value >>= 3;
    }
}

// The layout of one number field, settled before any character is written: the sign, the
// fill and its side, and the digits of the magnitude in the conversion's base.
struct NumberField {
    char conversion;
    char sign; // '\0' when none
    char fill; // ' ' or '0', placed between the sign and the digits; blanks after them when left
    bool left;
    uint32_t magnitude;
    int count; // number of digits
    int fill_count;

    int length() const { return (sign != '\0' ? 1 : 0) + fill_count + count; }
};

// `bits` is the argument as the conversion reads it: a signed value's two's complement for
// d, i, o, x and X, the unsigned value for u.
NumberField plan_number(const Conversion& conv, uint32_t bits) {
    NumberField field{conv.letter, '\0', ' ', conv.left != 0, bits, 0, 0};
    switch (conv.letter) {
    case 'o': field.count = octal_digits(field.magnitude); break;
    case 'x':
    case 'X': field.count = hex_digits(field.magnitude); break;
    default:
        if (conv.letter != 'u') { // d, i: signed
            if (static_cast<int32_t>(bits) < 0) {
                field.sign = '-';
                field.magnitude = 0U - field.magnitude;
            } else if (conv.plus) {
                field.sign = '+';
            } else if (conv.space) {
                field.sign = ' ';
            }
        }
        field.count = decimal_digits(field.magnitude);
        break;
    }
    // The field never grows past what two width digits allow.
    const int width = conv.width < number_field_size - 1 ? conv.width : number_field_size - 1;
    const int length = field.count + (field.sign != '\0' ? 1 : 0);
    field.fill_count = width > length ? width - length : 0;
    if (!field.left && conv.width_digits[0] == '0') {
        field.fill = '0';
    }
    return field;
}

// Writes the field's length() characters and a NUL. A sign always takes the first position:
// right-justified, the fill stands between it and the digits; left-justified, blanks follow
// the digits.
void write_number(const NumberField& field, char* out) {
    if (field.sign != '\0') {
        *out++ = field.sign;
    }
    if (!field.left && field.fill_count > 0) {
        memset(out, field.fill, static_cast<size_t>(field.fill_count));
        out += field.fill_count;
    }
    out += field.count;
    switch (field.conversion) {
    case 'o': put_octal(field.magnitude, out, field.count); break;
    case 'x': put_hex(field.magnitude, out, field.count, "0123456789abcdef"); break;
    case 'X': put_hex(field.magnitude, out, field.count, "0123456789ABCDEF"); break;
    default: put_decimal(field.magnitude, out); break;
    }
    if (field.left && field.fill_count > 0) {
        memset(out, ' ', static_cast<size_t>(field.fill_count));
        out += field.fill_count;
    }
    *out = '\0';
}

// Takes the argument of a number conversion and lays out its field.
// Both int and long are 32 bits on the targets; a long argument is read as a long (callers
// that write 'l' pass one) and only its low 32 bits count.
NumberField number_argument(const Conversion& conv, va_list* args) {
    const bool wide = conv.size == 'l';
    uint32_t bits = 0;
    if (conv.letter == 'u') {
        bits = wide ? static_cast<uint32_t>(va_arg(*args, unsigned long))
                    : va_arg(*args, unsigned int);
    } else if (wide) {
        bits = static_cast<uint32_t>(va_arg(*args, long));
    } else {
        bits = static_cast<uint32_t>(va_arg(*args, int));
    }
    return plan_number(conv, bits);
}

// Appends the field of one conversion; false when it does not fit.
bool append_conversion(Text& text, const Conversion& conv, va_list* args) {
    switch (conv.letter) {
    case 'c': {
        const char character = static_cast<char>(va_arg(*args, int));
        const int width = conv.width == 0 ? 1 : conv.width;
        if (!text.room_for(width)) {
            return false;
        }
        // A NUL character would end the text: it contributes only its padding.
        const int shown = character == '\0' ? 0 : 1;
        if (conv.left) {
            text.put(&character, shown);
            text.pad(width - 1);
        } else {
            text.pad(width - 1);
            text.put(&character, shown);
        }
        return true;
    }
    case 's': {
        const char* argument = va_arg(*args, const char*);
        if (argument == nullptr) {
            argument = "";
        }
        const size_t length = strlen(argument);
        if (length > static_cast<size_t>(conv.width)) {
            // Wider than the field: the whole text, whatever the precision.
            if (!text.room_for(static_cast<int64_t>(length))) {
                return false;
            }
            text.put(argument, static_cast<int>(length));
            return true;
        }
        if (!text.room_for(conv.width)) {
            return false;
        }
        int shown = static_cast<int>(length);
        if (conv.precision != 0 && shown > conv.precision) {
            shown = conv.precision;
        }
        if (conv.left) {
            text.put(argument, shown);
            text.pad(conv.width - shown);
        } else {
            text.pad(conv.width - shown);
            text.put(argument, shown);
        }
        return true;
    }
    case 'n':
    case 'p': return true;
    default: {
        // The field's length is known before its text: it is written straight into place.
        const NumberField field = number_argument(conv, args);
        const int length = field.length();
        if (!text.room_for(length)) {
            return false;
        }
        write_number(field, text.out + text.length);
        text.length += length;
        return true;
    }
    }
}

// Reads flags, digits and size letters, in any order and any number, from `s` up to the
// character that ends the conversion, where `s` is left. A conversion letter ending it is
// stored in the state. Returns the failure code of a third width or precision digit, else 0.
char read_conversion(const char*& s, Conversion& conv) {
    for (;; ++s) {
        switch (kinds.of[static_cast<unsigned char>(*s)]) {
        case Kind::space: conv.space = 1; break;
        case Kind::plus: conv.plus = 1; break;
        case Kind::minus: conv.left = 1; break;
        case Kind::point: conv.point_seen = 1; break;
        case Kind::size: conv.size = *s; break;
        case Kind::digit:
            if (!conv.point_seen) {
                if (!add_digit(conv.width_digits, *s)) {
                    return code_width_digits;
                }
            } else if (!add_digit(conv.precision_digits, *s)) {
                return code_precision_digits;
            }
            break;
        case Kind::conversion: conv.letter = *s; return '\0';
        case Kind::other: return '\0';
        }
    }
}

} // namespace

void reset_conversion(Conversion* conversion) {
    *conversion = Conversion{};
}

void format_number(const Conversion& conversion, int32_t int_value, int32_t long_value,
                   uint32_t unsigned_value, uint32_t unsigned_long_value, char* field) {
    const bool wide = conversion.size == 'l';
    uint32_t bits = 0;
    if (conversion.letter == 'u') {
        bits = wide ? unsigned_long_value : unsigned_value;
    } else {
        bits = static_cast<uint32_t>(wide ? long_value : int_value);
    }
    write_number(plan_number(conversion, bits), field);
}

void show_overflow_mark(char code, const char* text, int row, int column) {
    overflow_mark[1] = code;
    if (row == -1) {
        return;
    }
    uint16_t word = 0;
    const int length = text_length(text);
    write_text(text, length, row, column, &word);
    // The mark stands directly behind the text; columns are 8-bit.
    write_text(overflow_mark, 3, row, (column + length) & 0xFF, &word);
}

int scr_printf(char* out, int capacity, int row, int column, const char* format, ...) {
    if (out == nullptr || capacity < 1) {
        // No room even for the NUL: every piece fails, the empty text included, and the
        // buffer is left untouched.
        show_overflow_mark(code_no_room, "", row, column);
        return 1;
    }
    out[0] = '\0';
    Text text{out, capacity, 0};
    const char* p = format != nullptr ? format : "";
    Conversion conv;
    char failure = '\0';

    va_list args;
    va_start(args, format);
    for (;;) {
        reset_conversion(&conv);

        // The literal text up to the next '%', or the rest of the format.
        const char* q = strchr(p, '%');
        if (q == nullptr) {
            q = p + strlen(p);
        }
        if (!text.room_for(q - p)) {
            failure = code_no_room;
            break;
        }
        if (q != p) {
            text.put(p, static_cast<int>(q - p));
        }
        if (*q == '\0') {
            break;
        }

        const char* s = q + 1;
        failure = read_conversion(s, conv);
        if (failure != '\0') {
            break;
        }

        if (conv.letter == '\0') {
            // Any other character stands for itself; everything before it in the
            // conversion produces nothing. The final NUL appends nothing but is tested
            // for room all the same.
            if (!text.room_for(1)) {
                failure = code_no_room;
                break;
            }
            if (*s == '\0') {
                break;
            }
            text.put(s, 1);
        } else {
            conv.width = digits_value(conv.width_digits);
            conv.precision = digits_value(conv.precision_digits);
            if (!append_conversion(text, conv, &args)) {
                failure = code_no_room;
                break;
            }
        }
        p = s + 1;
        if (*p == '\0') {
            break;
        }
    }
    va_end(args);

    if (failure != '\0') {
        show_overflow_mark(failure, out, row, column);
        return result_of(failure);
    }
    if (row != -1) {
        uint16_t word = 0;
        write_text(out, text.length, row, column, &word);
    }
    return 0;
}

} // namespace opkit
