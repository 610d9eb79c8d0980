// TM_DATE: stamps the host's current date and time into two user variables, the date in
// American (MM/DD/YY) or European (DD.MM.YY) order, the time in 24-hour or 12-hour form.
// Both texts describe one moment: the date is read on both sides of the time, and the time is
// read again when the day changed in between; nothing is written until both are read.
#include "functions/tm_date.h"

#include "entry/checks.h"
#include "functions/handlers.h"
#include "functions/variables.h"
#include "host/hostlib.h"

#include <stdint.h>

namespace opkit {

namespace {

constexpr int date_buffer_size = 8;
constexpr int time_buffer_size = 12;

// Length of the clock text in a buffer of `size` bytes, never looking past the buffer.
int clock_text_length(const char* text, int size) {
    int length = 0;
    while (length < size && text[length] != '\0') {
        ++length;
    }
    return length;
}

// Copies characters `first` and `first + 1` of a clock text of `length` characters to `out`;
// a position that the host's text does not reach shows as a blank.
void put_pair(char* out, const char* text, int length, int first) {
    out[0] = first < length ? text[first] : ' ';
    out[1] = first + 1 < length ? text[first + 1] : ' ';
}

} // namespace

void format_date_text(char* out, char style, char separator) {
    char date[date_buffer_size] = {};
    uint8_t status = 0;
    _RtcGetAsciiDate(HOSTLIB_DATE_MDY, date, &status);
    const int length = clock_text_length(date, date_buffer_size);
    const bool american = style == 'A';
    put_pair(out, date, length, american ? 0 : 2);
    out[2] = separator;
    put_pair(out + 3, date, length, american ? 2 : 0);
    out[5] = separator;
    put_pair(out + 6, date, length, 4);
    out[8] = '\0';
}

void format_time_text(char* out, int hour_format, char separator) {
    const bool full_day = hour_format == 24;
    char time[time_buffer_size] = {};
    uint8_t status = 0;
    _RtcGetAsciiTime(full_day ? HOSTLIB_TIME_24 : HOSTLIB_TIME_12, time, &status);
    const int length = clock_text_length(time, time_buffer_size);
    put_pair(out, time, length, 0);
    out[2] = separator;
    put_pair(out + 3, time, length, 2);
    out[5] = separator;
    put_pair(out + 6, time, length, 4);
    if (full_day) {
        out[8] = '\0';
        return;
    }
    out[8] = ' ';
    put_pair(out + 9, time, length, 6);
    out[11] = '\0';
}

// The checks in the order of the row, the host's idle work among them; a style that passes
// is AMER or EURO, and the hour format 12 or 24.
static_assert(made_in_row_order(tm_date::checks, tm_date::length, tm_date::time_range,
                                tm_date::date_range, tm_date::idle, tm_date::known_hours,
                                tm_date::known_style));
constexpr int american_style = entry_index(tm_date::style.accepts, "AMER");
static_assert(american_style >= 0 && entry_index(tm_date::style.accepts, "EURO") >= 0 &&
              entry_count(tm_date::style.accepts) == 2);
static_assert(compile_numbers(tm_date::hours.accepts).has(12) &&
              compile_numbers(tm_date::hours.accepts).has(24) &&
              entry_count(tm_date::hours.accepts) == 2);

int cfr_tm_date(const char* record) {
    int32_t time_variable = 0;
    int32_t date_variable = 0;
    if (length_rejected<tm_date::length>(record) ||
        value_rejected<tm_date::time_range>(record, time_variable) ||
        value_rejected<tm_date::date_range>(record, date_variable)) {
        return 0;
    }
    // The hour format is read before the host's idle work and judged after it.
    const int32_t hour_format = field_value<tm_date::hours>(record);
    _IdleManager(0);
    if (!value_accepted<tm_date::known_hours>(hour_format)) {
        notice<tm_date::known_hours>(record);
        return 0;
    }
    int style = -1;
    if (word_rejected<tm_date::known_style>(record, style)) {
        return 0;
    }
    const bool american = style == american_style;
    const char style_letter = american ? 'A' : 'E';
    const char date_separator = american ? '/' : '.';

    // Date, time, date again: equal dates bracket the time, so both belong to one day. When
    // the day changed meanwhile, the time is read again to go with the later date.
    char first_date[date_buffer_size + 4];
    char date_text[date_buffer_size + 4];
    char time_text[time_buffer_size];
    format_date_text(first_date, style_letter, date_separator);
    _IdleManager(0);
    format_time_text(time_text, static_cast<int>(hour_format), ':');
    format_date_text(date_text, style_letter, date_separator);
    if (!texts_equal(first_date, date_text)) {
        format_time_text(time_text, static_cast<int>(hour_format), ':');
    }

    // A refused write shows its notice and the other write still follows.
    write_variable(record, date_variable, date_text);
    write_variable(record, time_variable, time_text);
    return 0;
}

} // namespace opkit
