// The deterministic host that the fuzz target links the plug-in against: its own hostlib
// services, driven by a script taken from the fuzz input, and a checker of every service call
// against what the running function may ask of the host.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace opkit_fuzz {

// The services, as bits of a permission set.
enum ServiceBit : uint32_t {
    svc_write_text = 1U << 0,
    svc_write_text_att = 1U << 1,
    svc_read_cells = 1U << 2,
    svc_write_cells = 1U << 3,
    svc_cursor_position = 1U << 4,
    svc_cursor_type = 1U << 5,
    svc_read_key = 1U << 6,
    svc_wait_event = 1U << 7,
    svc_idle = 1U << 8,
    svc_time = 1U << 9,
    svc_date = 1U << 10,
    svc_read_variable = 1U << 11,
    svc_write_variable = 1U << 12,
    svc_transaction = 1U << 13,
};

// What one call of the plug-in may do; the host stops the run at the first service call
// that breaks these rules.
struct CallRules {
    const char* what;  // the function or message, for the failure text
    uint32_t services; // ServiceBit set of the services it may call
    const char* codes; // the parameter notice codes it may show, two characters each;
                       // null when it writes free text and shows no notices
    int read_first;    // user variable numbers it may read
    int read_last;
    int write_first; // user variable numbers it may write
    int write_last;
    int write_longest; // longest text it may write
};

// What the host saw during one call.
struct CallReport {
    int bad_param_notices;
    int append_notices;
    int service_calls;
};

// Stops the run with a message on stderr (the fuzzer records the input as a crash).
[[noreturn]] void fuzz_fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Back to the host as it is before any input: empty screen and variables, empty scripts,
// the clock at its start.
void host_reset();

// Applies one script line: `kind` is its first byte, `payload` the rest (no line end).
// Lines of other kinds are ignored. Script lines act on the calls that follow them.
void host_script_line(char kind, const uint8_t* payload, size_t size);

// Brackets one call of the plug-in.
void host_begin_call(const CallRules& rules);
CallReport host_end_call();

// Decimal value of a payload: blanks, a sign, digits; saturates at +-2^62.
int64_t payload_number(const uint8_t* payload, size_t size);

} // namespace opkit_fuzz
