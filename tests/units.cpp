// Where the unit tests find the plug-in's internals: the unit-test DLL's exports, or the core
// library linked into this program.
#include "units.h"

#if defined(OPKIT_UNITS_PATH)
#include <cstdio>
#include <cstdlib>
#include <string>

#include "hostsim/plugin.h"
#endif

namespace opkit_test {

#if defined(OPKIT_UNITS_PATH)

namespace {

[[noreturn]] void give_up(const std::string& why) {
    std::fprintf(stderr, "unit tests: %s\n", why.c_str());
    std::fflush(stderr);
    std::exit(1);
}

Units load_units() {
    // Loaded for the rest of the run: its state lives as long as the test program, as the
    // core library's does where it is linked in.
    static hostsim::Plugin library(OPKIT_UNITS_PATH);
    if (!library.load()) {
        give_up("cannot load " + library.path() + ": " + library.error());
    }
    Units found{};
#define OPKIT_UNIT_FIND(name)                                                                      \
    if (void* address = library.symbol(#name)) {                                                   \
        found.name = reinterpret_cast<decltype(found.name)>(address);                              \
    } else {                                                                                       \
        give_up(library.path() + " does not export " #name);                                       \
    }
    OPKIT_UNITS(OPKIT_UNIT_FIND)
#undef OPKIT_UNIT_FIND
    return found;
}

} // namespace

const Units& units() {
    static const Units loaded = load_units();
    return loaded;
}

#else

const Units& units() {
#define OPKIT_UNIT_LINKED(name) &opkit::name,
    static const Units linked{OPKIT_UNITS(OPKIT_UNIT_LINKED)};
#undef OPKIT_UNIT_LINKED
    return linked;
}

#endif

} // namespace opkit_test

#if defined(OPKIT_UNITS_PATH)
// The record layouts, which the tests read as the handlers' own description of the records,
// name each handler; this program holds none of the plug-in's code, so each name stands for
// the DLL's handler.
namespace opkit {
#define OPKIT_UNIT_FORWARD(name)                                                                   \
    int name(const char* record) {                                                                 \
        return opkit_test::units().name(record);                                                   \
    }
OPKIT_UNIT_HANDLERS(OPKIT_UNIT_FORWARD)
#undef OPKIT_UNIT_FORWARD
} // namespace opkit
#endif
