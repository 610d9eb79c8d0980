// How the accept lists of the function rows read. A list is a text of entries separated by
// blanks; an entry is the letter or word itself, optionally followed by ':' and other spellings
// that only the command-line host takes ("S:store"). Letters and words match without regard
// to ASCII case. Everything here is constexpr: the record reader applies these rules when it
// judges a record from its row at run time, and the handlers' checks are derived from the same
// rules when the library is compiled (entry/checks.h).
#pragma once

#include <stdint.h>

namespace opkit {

// The plug-in's one ASCII case fold: a-z as A-Z, every other byte (those above 0x7F too) as
// it is. The accept lists, the relation letters and the compiled checks all fold with it.
constexpr char upper_case(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool ends_spelling(char c) {
    return c == '\0' || c == ' ' || c == ':';
}

// The next entry of a list after the one at `entry`, or null at the list's end.
constexpr const char* next_entry(const char* entry) {
    while (*entry != '\0' && *entry != ' ') {
        ++entry;
    }
    return *entry == ' ' ? entry + 1 : nullptr;
}

// The number of characters of the entry's own spelling (up to ':' or the next entry).
constexpr int spelling_length(const char* entry) {
    int length = 0;
    while (!ends_spelling(entry[length])) {
        ++length;
    }
    return length;
}

// Whether the entry's own spelling equals `text`, ignoring case. A text that ends first
// differs: no character of a spelling is the NUL.
constexpr bool entry_is(const char* entry, const char* text) {
    int i = 0;
    for (; !ends_spelling(entry[i]); ++i) {
        if (text[i] == '\0' || upper_case(text[i]) != upper_case(entry[i])) {
            return false;
        }
    }
    return text[i] == '\0';
}

// Whether one of the list's entries is `text`, ignoring case.
constexpr bool list_has_text(const char* list, const char* text) {
    for (const char* e = list; e != nullptr; e = next_entry(e)) {
        if (entry_is(e, text)) {
            return true;
        }
    }
    return false;
}

// Whether one of the list's entries is the one character `letter`, in either case.
constexpr bool list_has_letter(const char* list, char letter) {
    const char text[2] = {letter, '\0'};
    return list_has_text(list, text);
}

// The position of the entry that is `text` (ignoring case), counted from 0; -1 when none is.
constexpr int entry_index(const char* list, const char* text) {
    int index = 0;
    for (const char* e = list; e != nullptr; e = next_entry(e), ++index) {
        if (entry_is(e, text)) {
            return index;
        }
    }
    return -1;
}

constexpr int entry_count(const char* list) {
    int count = 0;
    for (const char* e = list; e != nullptr; e = next_entry(e)) {
        ++count;
    }
    return count;
}

// The decimal value of a text as atoi reads it: leading white space, an optional sign, digits
// up to the first other character, 0 when there are none; a value outside the signed 32-bit
// range gives INT32_MIN or INT32_MAX. text_to_int is this conversion at run time.
constexpr int32_t decimal_value(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = (*p == '-');
        ++p;
    }
    // Accumulate the magnitude in 64 bits and stop growing once it is out of range, so that
    // any number of digits saturates instead of overflowing.
    const int64_t limit = negative ? 2147483648LL : 2147483647LL;
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude <= limit) {
            magnitude = magnitude * 10 + (*p - '0');
        }
    }
    if (magnitude > limit) {
        magnitude = limit;
    }
    return static_cast<int32_t>(negative ? -magnitude : magnitude);
}

} // namespace opkit
