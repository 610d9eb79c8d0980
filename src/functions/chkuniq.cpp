// CHKUNIQ: two rings of the ten values registered most recently. A verify call reads a user
// variable and answers 1 when its text is new to the list (and registers it), 0 when the list
// holds it already; a reset call empties a list but keeps its ring position.
#include "functions/chkuniq.h"

#include "entry/checks.h"
#include "entry/record.h"
#include "functions/handlers.h"

namespace opkit {

char uniq_lists[uniq_list_count][uniq_entry_count][uniq_entry_size];
int uniq_next[uniq_list_count];
uint8_t uniq_lengths[uniq_list_count][uniq_entry_count];

namespace {

// The checks in the order of the row: a verify's belong to V and v, a reset's to R and r, as
// cfr_chkuniq tells the actions apart.
static_assert(made_in_row_order(chkuniq::checks, chkuniq::verify_length, chkuniq::value_read,
                                chkuniq::verify_list_range, chkuniq::reset_length,
                                chkuniq::reset_list_range));
static_assert(letters_exactly(chkuniq::verify_length.when_letters, "Vv") &&
              letters_exactly(chkuniq::value_read.when_letters, "Vv") &&
              letters_exactly(chkuniq::verify_list_range.when_letters, "Vv") &&
              letters_exactly(chkuniq::reset_length.when_letters, "Rr") &&
              letters_exactly(chkuniq::reset_list_range.when_letters, "Rr"));
// A list number that passes its range names list 1 or 2.
static_assert(chkuniq::verify_list.high - chkuniq::verify_list.low + 1 == uniq_list_count &&
              chkuniq::reset_list.high - chkuniq::reset_list.low + 1 == uniq_list_count);

int verify(const char* record) {
    if (length_rejected<chkuniq::verify_length>(record)) {
        return 0;
    }
    // The host promises at most a variable's length; whatever it wrote stays one text.
    if (read_rejected<chkuniq::value_read>(record, scratch_text, scratch_size)) {
        return 0;
    }
    int32_t list = 0;
    if (value_rejected<chkuniq::verify_list_range>(record, list)) {
        return 0;
    }
    return uniq_check_and_add(scratch_text, list - chkuniq::verify_list.low) == 1 ? 1 : 0;
}

int reset(const char* record) {
    int32_t list = 0;
    if (length_rejected<chkuniq::reset_length>(record) ||
        value_rejected<chkuniq::reset_list_range>(record, list)) {
        return 0;
    }
    const int index = list - chkuniq::reset_list.low;
    // Emptied entries keep their places: the ring goes on where it stood.
    for (int entry = 0; entry < uniq_entry_count; ++entry) {
        uniq_lists[index][entry][0] = '\0';
        uniq_lengths[index][entry] = 0;
    }
    return 0;
}

bool same_characters(const char* left, const char* right, int count) {
    for (int i = 0; i < count; ++i) {
        if (left[i] != right[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

int uniq_check_and_add(const char* value, int list_index) {
    char(&list)[uniq_entry_count][uniq_entry_size] = uniq_lists[list_index];
    uint8_t(&lengths)[uniq_entry_count] = uniq_lengths[list_index];
    // Two texts are equal when they have one length and the same characters: the value is
    // measured once, entries of another length are passed over, and a compare stops at the
    // first character that differs.
    int length = 0;
    while (value[length] != '\0') {
        ++length;
    }
    for (int entry = 0; entry < uniq_entry_count; ++entry) {
        if (lengths[entry] == length && same_characters(value, list[entry], length)) {
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
    lengths[slot] = static_cast<uint8_t>(i);
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
