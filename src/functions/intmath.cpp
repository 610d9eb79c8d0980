// INTMATH: combines the integer values of two user variables with *, +, - or / and writes the
// result as decimal text into user variable 1.
#include "entry/checks.h"
#include "functions/handlers.h"
#include "host/hostlib.h"
#include "host/runtime.h"

namespace opkit {

namespace {

constexpr int text_buffer_size = 256;

// The result modulo 2^32, read as signed. The arithmetic runs on unsigned values, so an
// overflow wraps instead of being undefined; the one quotient that does not fit,
// -2147483648 / -1, wraps the same way to -2147483648. `b` is not 0 for '/'.
int32_t apply(char op, int32_t a, int32_t b) {
    const uint32_t ua = static_cast<uint32_t>(a);
    const uint32_t ub = static_cast<uint32_t>(b);
    switch (op) {
    case '*': return static_cast<int32_t>(ua * ub);
    case '+': return static_cast<int32_t>(ua + ub);
    case '-': return static_cast<int32_t>(ua - ub);
    default:
        if (b == -1) {
            return static_cast<int32_t>(0U - ua);
        }
        return a / b; // truncates toward zero
    }
}

} // namespace

// The checks in the order of the row; the operators that `apply` tells apart are the letters
// that the row accepts, and the divisor's check belongs to '/'.
static_assert(made_in_row_order(intmath::checks, intmath::length, intmath::left_read,
                                intmath::right_read, intmath::known_operator, intmath::divisor));
static_assert(letters_exactly(intmath::op.accepts, "*+-/"));
static_assert(intmath::divisor.when == &intmath::op &&
              letters_exactly(intmath::divisor.when_letters, "/"));

int cfr_intmath(const char* record) {
    if (length_rejected<intmath::length>(record)) {
        return 0;
    }
    // Both operands are read before anything is written, so either may be variable 1 itself.
    char left[text_buffer_size];
    if (read_rejected<intmath::left_read>(record, left, text_buffer_size)) {
        return 0;
    }
    char right[text_buffer_size];
    if (read_rejected<intmath::right_read>(record, right, text_buffer_size)) {
        return 0;
    }
    char op = '\0';
    if (letter_rejected<intmath::known_operator>(record, op)) {
        return 0;
    }
    const int32_t b = text_to_int(right);
    if (applies_to<intmath::divisor>(op) && b == 0) {
        notice<intmath::divisor>(record);
        return 0;
    }
    const int32_t a = text_to_int(left);
    signed_to_text(apply(op, a, b), scratch_text);
    // A refused write is not reported: the function has no notice for it.
    _WriteUserVariable(intmath::result_variable, scratch_text);
    return 0;
}

} // namespace opkit
