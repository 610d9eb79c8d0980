// POPUPWN: one framed box over the upper left of the screen. Opening saves the cells the box
// will cover and draws it; closing writes the saved cells back. The box and its saved cells
// are module state that lasts between calls.
#include "functions/popupwn.h"

#include "entry/checks.h"
#include "entry/record.h"
#include "functions/handlers.h"
#include "host/hostlib.h"
#include "notices/notices.h"

namespace opkit {

int popup_rows;
char popup_save[popup_save_rows][popup_save_width];

namespace {

constexpr uint8_t box_column = 2;
constexpr uint8_t box_top_row = 1;
constexpr uint16_t box_width = 24;
constexpr int inner_width_columns = 22;
constexpr char border_line[] = "+----------------------+";
constexpr char body_line[] = "|                      |";

void save_row(int i) {
    uint16_t word = 0;
    _VioReadCellStr(popup_save[i], box_width, static_cast<uint8_t>(box_top_row + i), box_column,
                    &word, 0);
}

void restore_row(int i) {
    uint16_t word = 0;
    _VioWrtCellStr(popup_save[i], box_width, static_cast<uint8_t>(box_top_row + i), box_column,
                   &word, 0);
}

void draw_line(const char* text, int row, uint8_t attribute) {
    uint16_t word = 0;
    _VioWrtCharStrAtt(text, box_width, static_cast<uint8_t>(row), box_column, attribute, &word, 0);
}

uint8_t open_box(uint8_t attribute, int rows, int* inner_rows, int* inner_width, uint8_t* inner_top,
                 uint8_t* inner_left) {
    popup_rows = rows;
    // Every row is saved before anything is drawn, so the save holds the screen as it stood.
    for (int i = 0; i < rows + 2; ++i) {
        save_row(i);
    }
    *inner_left = box_column + 1;
    *inner_top = box_top_row + 1;
    *inner_rows = rows;
    *inner_width = inner_width_columns;

    draw_line(border_line, box_top_row, attribute);
    for (int row = box_top_row + 1; row <= rows + 1; ++row) {
        draw_line(body_line, row, attribute);
    }
    draw_line(border_line, rows + 2, attribute);
    return 2;
}

uint8_t close_box(int* inner_rows, int* inner_width, uint8_t* inner_top, uint8_t* inner_left) {
    // With no box open there is nothing of ours on the screen: the saved cells are either
    // never-written zero bytes or stale, and writing them would overwrite what the
    // application has drawn since.
    if (popup_rows > 0) {
        for (int i = 0; i < popup_rows + 2; ++i) {
            restore_row(i);
        }
    }
    popup_rows = 0;
    *inner_rows = 0;
    *inner_width = 0;
    *inner_top = 0;
    *inner_left = 0;
    return 0;
}

} // namespace

uint8_t popup_window(char action, uint8_t attribute, int rows, int* inner_rows, int* inner_width,
                     uint8_t* inner_top, uint8_t* inner_left) {
    if (rows > popup_max_rows) {
        rows = popup_max_rows;
    }
    switch (action) {
    case 'C':
    case 'c':
        // A box without a body row is not a box: nothing is saved, drawn or changed.
        if (rows < 1) {
            return 0;
        }
        return open_box(attribute, rows, inner_rows, inner_width, inner_top, inner_left);
    case 'R':
    case 'r': return close_box(inner_rows, inner_width, inner_top, inner_left);
    case 'X':
    case 'x':
        // Forget the box; whatever stands on the screen stays.
        popup_rows = 0;
        return 0;
    default: return 0;
    }
}

// The checks in the order of the row: an open's belong to C and c, a close's to R and r, as
// the switch below tells the actions apart.
static_assert(made_in_row_order(popupwn::checks, popupwn::open_length, popupwn::rows_range,
                                popupwn::close_length));
static_assert(popupwn::open_length.when == &popupwn::action &&
              popupwn::rows_range.when == &popupwn::action &&
              popupwn::close_length.when == &popupwn::action &&
              letters_exactly(popupwn::open_length.when_letters, "Cc") &&
              letters_exactly(popupwn::rows_range.when_letters, "Cc") &&
              letters_exactly(popupwn::close_length.when_letters, "Rr"));

int cfr_popupwn(const char* record) {
    int inner_rows = 0;
    int inner_width = 0;
    uint8_t inner_top = 0;
    uint8_t inner_left = 0;

    const char action = record_char(record, popupwn::action.first);
    switch (action) {
    case 'C':
    case 'c': {
        int32_t rows = 0;
        if (length_rejected<popupwn::open_length>(record) ||
            value_rejected<popupwn::rows_range>(record, rows)) {
            return 0;
        }
        const char frame = record_char(record, popupwn::frame.first);
        const uint8_t attribute = (frame == 'N' || frame == 'n') ? 0 : 1;
        popup_window(action, attribute, rows, &inner_rows, &inner_width, &inner_top, &inner_left);
        return 0;
    }
    case 'R':
    case 'r':
        if (length_rejected<popupwn::close_length>(record)) {
            return 0;
        }
        popup_window(action, 0, 0, &inner_rows, &inner_width, &inner_top, &inner_left);
        return 0;
    default:
        // Any other action letter is no error: the call does nothing.
        return 0;
    }
}

} // namespace opkit
