// The popup box of POPUPWN: its body row count and the screen cells saved under it, zero when
// the library is loaded and kept between calls.
#pragma once

#include "entry/layouts.h"

namespace opkit {

constexpr int popup_max_rows = popupwn::rows.high; // body rows of the tallest box
constexpr int popup_save_rows = popup_max_rows + 2;
constexpr int popup_save_width = 50; // bytes per saved row: 24 cells of 2 bytes fit

// Body rows of the open box, 1 to 16; 0 when no box is open.
extern int popup_rows;
// Save row i holds the 24 cells that stood at screen row i+1, columns 2-25, at the last open.
extern char popup_save[popup_save_rows][popup_save_width];

} // namespace opkit
