// Conversions and compares that behave alike on the desktop, handheld and development builds.
#include "host/runtime.h"

#include "entry/accepts.h"
#include "host/hostlib.h"

#if defined(_WIN32) && !defined(_WIN32_WCE)
#include <string.h>
#endif

namespace opkit {

int32_t text_to_int(const char* text) {
    return decimal_value(text);
}

int signed_to_text(int32_t value, char* out) {
    char digits[12];
    int count = 0;
    // Work on the unsigned magnitude so that INT32_MIN needs no special case.
    uint32_t magnitude = value < 0 ? 0U - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10U);
        magnitude /= 10U;
    } while (magnitude != 0U);
    int length = 0;
    if (value < 0) {
        out[length++] = '-';
    }
    while (count > 0) {
        out[length++] = digits[--count];
    }
    out[length] = '\0';
    return length;
}

int text_compare_nocase(const char* left, const char* right) {
#if defined(_WIN32) && !defined(_WIN32_WCE)
    return _strcmpi(left, right);
#else
    return stricmp(left, right);
#endif
}

int text_length(const char* text) {
    int length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    return length;
}

} // namespace opkit
