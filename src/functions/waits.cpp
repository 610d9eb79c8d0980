// Placeholder until the handlers are written: answer 0 without acting.
#include "functions/handlers.h"
namespace opkit {
int cfr_v_delay(const char*) { return 0; }
int cfr_wait_uv(const char*) { return 0; }
} // namespace opkit
