// The handlers' checks, compiled from the function rows. A handler names a check of its row as
// a template argument, and everything the check needs from the row is read as a constant when
// the library is compiled: its test, the field's column and width, a range's bounds, the
// letters, numbers or words the field accepts, the letters of the calls it belongs to, its
// notice code. Each test is then what one written by hand would be: a compare with a constant,
// a bit test in a 64-bit mask, compares with a few constant numbers or packed words. The rows
// stay the one description: opkit-host judges records from the same objects at run time
// (check_passes in entry/record.h), and the static_asserts here and beside each handler hold
// the compiled forms to the rows.
//
// The `..._passes` forms test only; the `..._rejected` forms also show the check's notice
// when the test fails, and answer true then.
#pragma once

#include "entry/accepts.h"
#include "entry/globals.h"
#include "entry/layouts.h"
#include "entry/record.h"
#include "functions/relation.h"
#include "functions/variables.h"
#include "notices/notices.h"

#include <stddef.h>
#include <stdint.h>

namespace opkit {

// ---------------------------------------------------------------- letters

// A set of characters that lie within 64 codes of one another: bit i stands for base + i.
struct LetterSet {
    uint8_t base;
    uint64_t bits;

    constexpr bool has(char c) const {
        // Below the base the difference wraps to a large number and fails the bound.
        const unsigned offset = static_cast<unsigned>(static_cast<unsigned char>(c)) - base;
        return offset < 64U && ((bits >> offset) & 1U) != 0U;
    }
};

struct CompiledLetters {
    LetterSet set;
    bool fits; // the list accepts at least one character, and all of them within 64 codes
};

// The characters that a letter list accepts (each entry's letter in both cases), found by
// asking the list about every one of the 256.
constexpr CompiledLetters compile_letters(const char* list) {
    int low = -1;
    int high = -1;
    for (int c = 0; c < 256; ++c) {
        if (list_has_letter(list, static_cast<char>(c))) {
            low = low < 0 ? c : low;
            high = c;
        }
    }
    CompiledLetters compiled{{0, 0}, low >= 0 && high - low < 64};
    if (compiled.fits) {
        compiled.set.base = static_cast<uint8_t>(low);
        for (int c = low; c <= high; ++c) {
            if (list_has_letter(list, static_cast<char>(c))) {
                compiled.set.bits |= uint64_t{1} << (c - low);
            }
        }
    }
    return compiled;
}

// Whether the set answers for every character as the list does.
constexpr bool same_letters(const LetterSet& set, const char* list) {
    for (int c = 0; c < 256; ++c) {
        if (set.has(static_cast<char>(c)) != list_has_letter(list, static_cast<char>(c))) {
            return false;
        }
    }
    return true;
}

// Whether the list accepts exactly the characters of `letters`: what a handler's switch over a
// field's letters states about the row.
constexpr bool letters_exactly(const char* list, const char* letters) {
    for (int c = 0; c < 256; ++c) {
        bool listed = false;
        for (const char* l = letters; *l != '\0'; ++l) {
            listed = listed || *l == static_cast<char>(c);
        }
        if (listed != list_has_letter(list, static_cast<char>(c))) {
            return false;
        }
    }
    return true;
}

// The letters that a letter field accepts.
template <const Field& field> constexpr LetterSet accepted_letters() {
    static_assert(field.kind == FieldKind::letter);
    constexpr CompiledLetters compiled = compile_letters(field.accepts);
    static_assert(compiled.fits, "a letter list accepts nothing, or letters more than 64 apart");
    static_assert(same_letters(compiled.set, field.accepts), "letter set and list differ");
    return compiled.set;
}

// The letters of the calls that a check belongs to.
template <const Check& check> constexpr LetterSet when_letters() {
    static_assert(check.when != nullptr && check.when->kind == FieldKind::letter);
    constexpr CompiledLetters compiled = compile_letters(check.when_letters);
    static_assert(compiled.fits, "a letter list accepts nothing, or letters more than 64 apart");
    static_assert(same_letters(compiled.set, check.when_letters), "letter set and list differ");
    return compiled.set;
}

// ---------------------------------------------------------------- numbers and words

constexpr int listed_max = 4;

// A few values that a field lists, in the list's order.
template <typename Value> struct Listed {
    int count;
    Value values[listed_max];

    // The position of `value` in the list; -1 when it is not listed.
    constexpr int index_of(Value value) const {
        for (int i = 0; i < count; ++i) {
            if (values[i] == value) {
                return i;
            }
        }
        return -1;
    }
    constexpr bool has(Value value) const { return index_of(value) >= 0; }
};

// The numbers that a number field lists.
using NumberSet = Listed<int32_t>;

constexpr NumberSet compile_numbers(const char* list) {
    NumberSet set{0, {}};
    for (const char* e = list; e != nullptr && set.count < listed_max; e = next_entry(e)) {
        set.values[set.count++] = decimal_value(e);
    }
    return set;
}

// Words of up to four characters, each folded to upper case and packed into 32 bits, one byte
// a character and zeros after the last: two texts without NULs inside are equal but for case
// exactly when their keys are equal.
constexpr int word_width_max = 4;

constexpr uint32_t word_key(const char* text, int length) {
    uint32_t key = 0;
    for (int i = 0; i < length && text[i] != '\0'; ++i) {
        key |= static_cast<uint32_t>(static_cast<unsigned char>(upper_case(text[i]))) << (8 * i);
    }
    return key;
}

// The words of a text field, by their keys.
using WordSet = Listed<uint32_t>;

struct CompiledWords {
    WordSet set;
    bool fits; // at most listed_max entries, each of 1 to `width` characters, all different
};

constexpr CompiledWords compile_words(const char* list, int width) {
    CompiledWords compiled{{0, {}}, width <= word_width_max && entry_count(list) <= listed_max};
    for (const char* e = list; e != nullptr && compiled.set.count < listed_max; e = next_entry(e)) {
        const int length = spelling_length(e);
        const uint32_t key = word_key(e, length);
        compiled.fits =
            compiled.fits && length >= 1 && length <= width && compiled.set.index_of(key) < 0;
        compiled.set.values[compiled.set.count++] = key;
    }
    return compiled;
}

// ---------------------------------------------------------------- the row's order

constexpr bool same_text(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    for (; *a != '\0' && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

constexpr bool same_check(const Check& a, const Check& b) {
    return a.test == b.test && a.field == b.field && a.bound == b.bound && a.when == b.when &&
           same_text(a.code, b.code) && same_text(a.when_letters, b.when_letters);
}

// Whether the row lists exactly these checks, in this order: a handler states with it the
// sequence in which it makes its checks, and the row, which opkit-host explains in its order,
// must agree.
template <size_t N, typename... Made>
constexpr bool made_in_row_order(const Check (&row)[N], const Made&... made) {
    const Check* in_order[] = {&made...};
    if (sizeof...(made) != N) {
        return false;
    }
    for (size_t i = 0; i < N; ++i) {
        if (!same_check(row[i], *in_order[i])) {
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------- the tests

// A number field's value as the handlers read it.
template <const Field& field> int32_t field_value(const char* record) {
    static_assert(field.kind == FieldKind::number);
    constexpr int first = field.first;
    constexpr int width = field.width < 8 ? field.width : 7;
    return record_columns_int(record, first, width);
}

// Length tests: the length digits against the check's bound.
template <const Check& check> constexpr bool length_passes(int32_t length) {
    static_assert(check.test == Test::length_at_least || check.test == Test::length_at_most);
    constexpr int32_t bound = check.bound;
    if constexpr (check.test == Test::length_at_least) {
        return length >= bound;
    } else {
        return length <= bound;
    }
}

// Whether a number field's value, read before, lies within its range or among the numbers
// it lists.
template <const Check& check> constexpr bool value_accepted(int32_t value) {
    static_assert(check.test == Test::in_range || check.test == Test::one_of);
    constexpr const Field& field = *check.field;
    static_assert(field.kind == FieldKind::number);
    if constexpr (field.accepts == nullptr) {
        constexpr int32_t low = field.low;
        constexpr int32_t high = field.high;
        return value >= low && value <= high;
    } else {
        constexpr NumberSet numbers = compile_numbers(field.accepts);
        static_assert(numbers.count == entry_count(field.accepts), "more numbers than listed_max");
        return numbers.has(value);
    }
}

// The same test on the field's value, read here; the value in `value`.
template <const Check& check> bool value_passes(const char* record, int32_t& value) {
    value = field_value<*check.field>(record);
    return value_accepted<check>(value);
}

// A letter field holding one of the letters it accepts; the letter in `letter`.
template <const Check& check> bool letter_passes(const char* record, char& letter) {
    static_assert(check.test == Test::one_of && check.field->kind == FieldKind::letter);
    constexpr const Field& field = *check.field;
    constexpr LetterSet letters = accepted_letters<field>();
    letter = record_char(record, field.first);
    return letters.has(letter);
}

// A text field holding one of the words it accepts, in any case; the word's position in the
// list in `entry` (-1 when it fails).
template <const Check& check> bool word_passes(const char* record, int& entry) {
    static_assert(check.test == Test::one_of && check.field->kind == FieldKind::text);
    constexpr const Field& field = *check.field;
    constexpr CompiledWords words = compile_words(field.accepts, field.width);
    static_assert(words.fits, "a word list of more than listed_max words, or words that do not "
                              "fit the field or repeat one another");
    char text[word_width_max + 1];
    record_columns_text(record, field.first, field.width, text);
    entry = words.set.index_of(word_key(text, field.width));
    return entry >= 0;
}

// The field's column and the next naming a relation; the relation in `relation`.
template <const Check& check> bool relation_passes(const char* record, Relation& relation) {
    static_assert(check.test == Test::relation);
    constexpr int first = check.field->first;
    char columns[3] = {};
    record_columns_text(record, first, 2, columns);
    relation = relation_of(columns[0], columns[1]);
    return relation != Relation::none;
}

// Whether the check belongs to calls whose letter field holds `letter`.
template <const Check& check> constexpr bool applies_to(char letter) {
    constexpr LetterSet letters = when_letters<check>();
    return letters.has(letter);
}

// The user variable that a host-read check's field names, as the host receives it: the low
// 8 bits of the value for a byte read ('-1' names variable 255), else the value.
template <const Check& check> int32_t variable_named(const char* record) {
    static_assert(check.test == Test::host_read || check.test == Test::host_read_byte);
    const int32_t value = field_value<*check.field>(record);
    if constexpr (check.test == Test::host_read_byte) {
        return static_cast<uint8_t>(value);
    } else {
        return value;
    }
}

// ---------------------------------------------------------------- with the notice

// Shows the check's notice; true, so that it can end a chain of tests.
template <const Check& check> bool notice(const char* record) {
    constexpr const char* code = check.code;
    static_assert(code[0] != '\0' && code[1] != '\0' && code[2] == '\0',
                  "a code of two characters");
    cfr_bad_param(record, code);
    return true;
}

template <const Check& check> bool length_rejected(const char* record) {
    return !length_passes<check>(record_length) && notice<check>(record);
}

template <const Check& check> bool value_rejected(const char* record, int32_t& value) {
    return !value_passes<check>(record, value) && notice<check>(record);
}

template <const Check& check> bool letter_rejected(const char* record, char& letter) {
    return !letter_passes<check>(record, letter) && notice<check>(record);
}

template <const Check& check> bool word_rejected(const char* record, int& entry) {
    return !word_passes<check>(record, entry) && notice<check>(record);
}

template <const Check& check> bool relation_rejected(const char* record, Relation& relation) {
    return !relation_passes<check>(record, relation) && notice<check>(record);
}

// Reads the user variable that the check's field names into `buffer` (see read_variable);
// the variable's number in `number`.
template <const Check& check>
bool read_rejected(const char* record, char* buffer, int size, int32_t& number) {
    number = variable_named<check>(record);
    return !read_variable(number, buffer, size) && notice<check>(record);
}

template <const Check& check> bool read_rejected(const char* record, char* buffer, int size) {
    int32_t number = 0;
    return read_rejected<check>(record, buffer, size, number);
}

} // namespace opkit
