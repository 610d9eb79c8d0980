// Placeholder until the handler is written: answers 0 without acting.
#include "functions/handlers.h"
namespace opkit {
int cfr_cmp_int(const char*) { return 0; }
} // namespace opkit
