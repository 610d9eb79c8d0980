// Parameter error notice and append notice.
#include "notices/notices.h"

#include "entry/globals.h"
#include "entry/record.h"
#include "host/hostlib.h"
#include "host/runtime.h"

namespace opkit {

namespace {

constexpr char blank_row[] = "                                        "; // 40 spaces
constexpr char press_key_text[] = "Press any key to continue       ";

void write_at(const char* text, int length, uint8_t row, uint8_t column) {
    uint16_t word = 0;
    _VioWrtCharStr(text, static_cast<uint16_t>(length), row, column, &word, 0);
}

// Shows the first `count` characters of the record at row 0, `column`, via scratch_text.
void write_excerpt(const char* record, int count, uint8_t column) {
    record_columns_text(record, 0, count, scratch_text);
    write_at(scratch_text, text_length(scratch_text), 0, column);
}

// Polls the keyboard until it answers anything but "no key waiting"; the key is discarded.
void wait_for_any_key() {
    uint16_t key = 0;
    while (_KbdReadAscii(&key) == HOSTLIB_NO_KEY) {
        _WaitEvent(0);
    }
}

} // namespace

void cfr_bad_param(const char* record, const char* code) {
    write_at(blank_row, 40, 0, 0);
    write_at(blank_row, 40, 1, 0);
    write_at(bad_param_text, sizeof bad_param_text - 1, 0, 0);
    write_at(code, bad_param_code_width, 0, bad_param_code_column);
    write_excerpt(record, bad_param_excerpt, sizeof bad_param_text - 1);
    write_at(press_key_text, 32, 1, 0);
    wait_for_any_key();
}

void cfr_append_too_long(const char* record) {
    write_at(append_text, sizeof append_text - 1, 0, 0);
    write_excerpt(record, append_excerpt, sizeof append_text);
    write_at(press_key_text, 32, 1, 0);
    wait_for_any_key();
}

} // namespace opkit
