// The clock text formatting of TM_DATE: each function fetches the host's clock text and
// rearranges its digits into a display text.
#pragma once

namespace opkit {

// Fetches the host's date (MMDDYY) and writes "MM/DD/YY" order for style 'A', "DD.MM.YY"
// order for any other style, with `separator` at positions 2 and 5, and a NUL (9 bytes).
void format_date_text(char* out, char style, char separator);

// Fetches the host's time, 24-hour (HHMMSS) for hour format 24 and 12-hour (hhmmss and two
// more characters) otherwise, and writes "hh:mm:ss" or "hh:mm:ss xx" with `separator` at
// positions 2 and 5, and a NUL (12 bytes).
void format_time_text(char* out, int hour_format, char separator);

} // namespace opkit
