// The ten custom functions. Each takes the call record and returns the value that the
// dispatcher hands to the host (DICOUNT and POPUPWN always answer 0).
#pragma once

#include <stdint.h>

namespace opkit {

int cfr_dicount(const char* record);
int cfr_popupwn(const char* record);
int cfr_compare(const char* record);
int cfr_cmp_int(const char* record);
int cfr_intmath(const char* record);
int cfr_chkuniq(const char* record);
int cfr_tm_date(const char* record);
int cfr_tranmsg(const char* record);
int cfr_v_delay(const char* record);
int cfr_wait_uv(const char* record);

// The popup box, also forgotten by messages 0 and 2 (action 'X').
uint8_t popup_window(char action, uint8_t attribute, int rows, int* inner_rows, int* inner_width,
                     uint8_t* inner_top, uint8_t* inner_left);

} // namespace opkit
