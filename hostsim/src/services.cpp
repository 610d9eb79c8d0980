// hostlib's C services: each converts its arguments and forwards to the current host
// (the table of hostsim/service.h), and the case-insensitive compare.
#include "hostsim/host.h"

using hostsim::Host;

#if !defined(_WIN32)
namespace {

// A letter A-Z as its lower case; every other byte, those above 0x7F too, as it is.
int ascii_lower(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

} // namespace
#endif

extern "C" {

// Each service of the table, forwarded to the current host.
#define HOSTSIM_SERVICE_EXPORT(name, parameters, call)                                             \
    int _##name parameters {                                                                       \
        return Host::current_or_default().call;                                                    \
    }
HOSTSIM_SERVICES(HOSTSIM_SERVICE_EXPORT)
#undef HOSTSIM_SERVICE_EXPORT

#if !defined(_WIN32)
// Folds ASCII letters only, as the plug-in folds function names, whatever the locale of the
// program that loads hostlib: under a single-byte locale, the C library's tolower would also
// fold bytes above 0x7F (0xC4 to 0xE4 in Latin-1) and the two would disagree.
int stricmp(const char* left, const char* right) {
    const auto* l = reinterpret_cast<const unsigned char*>(left);
    const auto* r = reinterpret_cast<const unsigned char*>(right);
    for (;; ++l, ++r) {
        const int a = ascii_lower(*l);
        const int b = ascii_lower(*r);
        if (a != b || a == 0) {
            return a - b;
        }
    }
}
#endif

} // extern "C"
