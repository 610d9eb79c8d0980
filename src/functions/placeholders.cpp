// Temporary: handlers not yet written answer 0 without acting.
#include "functions/handlers.h"
namespace opkit {
int cfr_dicount(const char*) { return 0; }
int cfr_popupwn(const char*) { return 0; }
int cfr_compare(const char*) { return 0; }
int cfr_cmp_int(const char*) { return 0; }
int cfr_intmath(const char*) { return 0; }
int cfr_chkuniq(const char*) { return 0; }
int cfr_tm_date(const char*) { return 0; }
int cfr_tranmsg(const char*) { return 0; }
int cfr_v_delay(const char*) { return 0; }
int cfr_wait_uv(const char*) { return 0; }
uint8_t popup_window(char, uint8_t, int, int*, int*, uint8_t*, uint8_t*) { return 0; }
} // namespace opkit
