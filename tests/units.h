// The plug-in's internal functions and data that the unit tests call. Where the plug-in is a
// Windows DLL they are the exports of the unit-test DLL, which is linked from the very objects
// of the deliverable: loaded once, through the same loader as the plug-in (hostsim's PE
// loader, or LoadLibrary under wine), so that every unit test runs the DLL's machine code.
// Elsewhere they are the core library linked into the test program.
#pragma once

#include "entry/dispatch.h"
#include "entry/globals.h"
#include "entry/record.h"
#include "functions/chkuniq.h"
#include "functions/dicount.h"
#include "functions/handlers.h"
#include "functions/waits.h"
#include "host/runtime.h"
#include "screen/screen.h"

namespace opkit_test {

// Each internal under its own name, as the unit-test DLL exports it.
// clang-format off
#define OPKIT_UNIT_HANDLERS(X)                                                                     \
    X(cfr_dicount) X(cfr_popupwn) X(cfr_compare) X(cfr_cmp_int) X(cfr_intmath) X(cfr_chkuniq)      \
    X(cfr_tm_date) X(cfr_tranmsg) X(cfr_v_delay) X(cfr_wait_uv)
#define OPKIT_UNITS(X)                                                                             \
    X(opkit_main) X(dispatch_find) X(dispatch_find_columns)                                        \
    X(record_char) X(record_field_text) X(record_field_int) X(check_applies)                       \
    X(text_to_int) X(signed_to_text) X(text_compare_nocase)                                        \
    X(scr_printf) X(format_number) X(overflow_mark)                                                \
    X(record_length) X(counter_table) X(uniq_lists) X(uniq_lengths) X(uniq_next)                   \
    X(uniq_check_and_add) X(popup_window) X(clock_seconds) OPKIT_UNIT_HANDLERS(X)
// clang-format on

// Pointers to the functions, and to the data whole (an array through a pointer to the array:
// `*units().counter_table` is the uint32_t[32] itself).
struct Units {
#define OPKIT_UNIT_MEMBER(name) decltype(&opkit::name) name;
    OPKIT_UNITS(OPKIT_UNIT_MEMBER)
#undef OPKIT_UNIT_MEMBER
};

// The internals, the DLL loaded on the first call. A DLL that does not load or lacks one of
// them ends the test program with the reason: no test could run on the right code.
const Units& units();

} // namespace opkit_test
