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

int32_t short_text_to_int(const char* text, int count) {
    const char* p = text;
    const char* const end = text + count;
    // The NUL is neither white space, a sign nor a digit: the text's end stops every step.
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) {
        ++p;
    }
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    int32_t value = 0;
    for (; p < end; ++p) {
        const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(*p)) - '0';
        if (digit > 9U) {
            break;
        }
        value = value * 10 + static_cast<int32_t>(digit);
    }
    return negative ? -value : value;
}

int signed_to_text(int32_t value, char* out) {
    char digits[12];
    int count = 0;
    // Work on the unsigned magnitude so that INT32_MIN needs no special case.
    uint32_t magnitude =
        value < 0 ? 0U - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
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
