// INTMATH: combines the integer values of two user variables with *, +, - or / and writes the
// result as decimal text into user variable 1.
#include "entry/globals.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "functions/variables.h"
#include "host/hostlib.h"
#include "host/runtime.h"
#include "notices/notices.h"

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

int cfr_intmath(const char* record) {
    if (record_rejected(record, intmath::length)) {
        return 0;
    }
    // Both operands are read before anything is written, so either may be variable 1 itself.
    char left[text_buffer_size];
    if (!read_variable(variable_number(record, intmath::left), left, text_buffer_size)) {
        cfr_bad_param(record, intmath::left_read.code);
        return 0;
    }
    char right[text_buffer_size];
    if (!read_variable(variable_number(record, intmath::right), right, text_buffer_size)) {
        cfr_bad_param(record, intmath::right_read.code);
        return 0;
    }
    if (record_rejected(record, intmath::known_operator)) {
        return 0;
    }
    const char op = record_char(record, intmath::op.first);
    const int32_t b = text_to_int(right);
    if (op == '/' && b == 0) {
        cfr_bad_param(record, intmath::divisor.code);
        return 0;
    }
    const int32_t a = text_to_int(left);
    signed_to_text(apply(op, a, b), scratch_text);
    // A refused write is not reported: the function has no notice for it.
    _WriteUserVariable(intmath::result_variable, scratch_text);
    return 0;
}

} // namespace opkit
