// CHKUNIQ: two rings of the ten values registered most recently. A verify call reads a user
// variable and answers 1 when its text is new to the list (and registers it), 0 when the list
// holds it already; a reset call empties a list but keeps its ring position.
#include "functions/chkuniq.h"

#include "entry/globals.h"
#include "entry/layouts.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "notices/notices.h"

namespace opkit {

char uniq_lists[uniq_list_count][uniq_entry_count][uniq_entry_size];
int uniq_next[uniq_list_count];

namespace {

// Results of _ReadUserVariable that mean the variable was not read.
constexpr int read_bad_number = 1;
constexpr int read_unreadable = 3;

bool texts_equal(const char* left, const char* right) {
    while (*left != '\0' && *left == *right) {
        ++left;
        ++right;
    }
    return *left == *right;
}

// The list named by a one-column field ('1' or '2') as an index 0 or 1; -1 for anything else.
int list_index_in(const char* record, const Field& field) {
    const int32_t number = record_field_int(record, field);
    return (number == 1 || number == 2) ? static_cast<int>(number) - 1 : -1;
}

int verify(const char* record) {
    if (record_length < chkuniq::verify_min_length) {
        cfr_bad_param(record, "U2");
        return 0;
    }
    const int32_t variable = record_field_int(record, chkuniq::variable);
    scratch_text[0] = '\0';
    const int read = _ReadUserVariable(variable, scratch_text);
    if (read == read_bad_number || read == read_unreadable) {
        cfr_bad_param(record, "U3");
        return 0;
    }
    // The host promises at most a variable's length; whatever it wrote stays one text.
    scratch_text[scratch_size - 1] = '\0';
    const int list = list_index_in(record, chkuniq::verify_list);
    if (list < 0) {
        cfr_bad_param(record, "U4");
        return 0;
    }
    return uniq_check_and_add(scratch_text, list) == 1 ? 1 : 0;
}

int reset(const char* record) {
    if (record_length < chkuniq::reset_min_length) {
        cfr_bad_param(record, "U5");
        return 0;
    }
    const int list = list_index_in(record, chkuniq::reset_list);
    if (list < 0) {
        cfr_bad_param(record, "U4");
        return 0;
    }
    // Emptied entries keep their places: the ring goes on where it stood.
    for (int entry = 0; entry < uniq_entry_count; ++entry) {
        uniq_lists[list][entry][0] = '\0';
    }
    return 0;
}

} // namespace

int uniq_check_and_add(const char* value, int list_index) {
    char(&list)[uniq_entry_count][uniq_entry_size] = uniq_lists[list_index];
    for (int entry = 0; entry < uniq_entry_count; ++entry) {
        if (texts_equal(value, list[entry])) {
            return 0;
        }
    }
    int slot = uniq_next[list_index];
    if (slot < 0 || slot >= uniq_entry_count) {
        slot = 0;
    }
    char* entry = list[slot];
    int i = 0;
    for (; i < uniq_entry_size - 1 && value[i] != '\0'; ++i) {
        entry[i] = value[i];
    }
    for (; i < uniq_entry_size; ++i) {
        entry[i] = '\0';
    }
    uniq_next[list_index] = slot + 1 == uniq_entry_count ? 0 : slot + 1;
    return 1;
}

int cfr_chkuniq(const char* record) {
    switch (record_char(record, chkuniq::action.first)) {
    case 'V':
    case 'v': return verify(record);
    case 'R':
    case 'r': return reset(record);
    default: return 0; // any other action does nothing
    }
}

} // namespace opkit
