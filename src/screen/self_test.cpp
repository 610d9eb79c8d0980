// The screen self-test of message 5: labelled text and cursor steps, then the time, the date
// and the code of every key read, until the key with code 13.
#include "entry/globals.h"
#include "host/hostlib.h"
#include "screen/screen.h"

namespace opkit {

namespace {

// Every write of the test passes this word's address; the test never reads it.
uint16_t self_test_word;

constexpr uint16_t key_end = 13;
constexpr uint16_t key_unset = 4095; // stays when a read stores nothing; never ends the test
constexpr int key_line_capacity = 128;
constexpr int clock_text_size = 20;
constexpr int clock_shown = 6;

void write_at(const char* text, int length, uint8_t row, uint8_t column) {
    _VioWrtCharStr(text, static_cast<uint16_t>(length), row, column, &self_test_word, 0);
}

// Before a clock read: blanks, so that whatever the host leaves unwritten is defined.
void blank_clock_text(char* text) {
    for (int i = 0; i < clock_text_size - 1; ++i) {
        text[i] = ' ';
    }
    text[clock_text_size - 1] = '\0';
}

// After a clock read: the shown characters are the host's text as far as it goes, then
// blanks (never its NUL), and the text ends after them.
void cut_clock_text(char* text) {
    bool ended = false;
    for (int i = 0; i < clock_shown; ++i) {
        ended = ended || text[i] == '\0';
        if (ended) {
            text[i] = ' ';
        }
    }
    text[clock_shown] = '\0';
}

} // namespace

void screen_self_test() {
    write_at("Cursor @5,5", 11, 4, 0);
    _VioSetCurType(4);
    _VioSetCurPos(5, 5);
    _IdleManager(200);

    write_at("Cursor @5,5 after text written", 30, 4, 0);
    write_at("ABCDEFGHIJ", 10, 5, 0);
    _IdleManager(200);

    // The same length as the label before, so that it covers all of it.
    write_at("Cursor @5,10                  ", 30, 4, 0);
    _VioSetCurPos(5, 10);
    _IdleManager(200);

    char time_text[clock_text_size];
    char date_text[clock_text_size];
    uint8_t clock_status = 0;
    uint16_t key = 0;
    do {
        blank_clock_text(time_text);
        _RtcGetAsciiTime(HOSTLIB_TIME_24, time_text, &clock_status);
        blank_clock_text(date_text);
        _RtcGetAsciiDate(HOSTLIB_DATE_YMD, date_text, &clock_status);
        cut_clock_text(time_text);
        cut_clock_text(date_text);
        write_at(time_text, clock_shown, 1, 0);
        write_at(date_text, clock_shown, 2, 0);

        key = key_unset;
        if (static_cast<uint16_t>(_KbdReadAscii(&key)) == 0) {
            scr_printf(scratch_text, key_line_capacity, 0, 0, "Key code = 0x%X  ",
                       static_cast<unsigned int>(key));
        }
        _IdleManager(0);
        // Only the key code ends the test, whatever the read answered.
    } while (key != key_end);
}

} // namespace opkit
