// Placeholder until the handler is written: answers 0 without acting.
#include "functions/handlers.h"
namespace opkit {
int cfr_popupwn(const char*) { return 0; }
uint8_t popup_window(char, uint8_t, int, int*, int*, uint8_t*, uint8_t*) { return 0; }
} // namespace opkit
