// Temporary: the self-test is not yet written.
#include "screen/screen.h"
namespace opkit {
void screen_self_test() {}
} // namespace opkit
