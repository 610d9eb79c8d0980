// User-variable access shared by the handlers.
#include "functions/variables.h"

#include "host/hostlib.h"
#include "notices/notices.h"

namespace opkit {

bool read_variable(int number, char* buffer, int size) {
    // A host that answers success without writing must leave a defined text behind, and one
    // that overfills the buffer must not leave it unterminated.
    buffer[0] = '\0';
    const int result = _ReadUserVariable(number, buffer);
    buffer[size - 1] = '\0';
    return result != HOSTLIB_BAD_NUMBER && result != HOSTLIB_UNREADABLE;
}

void write_variable(const char* record, int number, const char* text) {
    if (_WriteUserVariable(number, text) == HOSTLIB_WRITE_TOO_LONG) {
        cfr_append_too_long(record);
    }
}

bool texts_equal(const char* left, const char* right) {
    while (*left != '\0' && *left == *right) {
        ++left;
        ++right;
    }
    return *left == *right;
}

} // namespace opkit
