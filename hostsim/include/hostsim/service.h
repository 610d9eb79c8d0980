// The services that the plug-in calls, and results forced on their next calls.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "hostsim/api.h"

namespace hostsim {

enum class Service : uint8_t {
    VioWrtCharStr,
    VioWrtCharStrAtt,
    VioReadCellStr,
    VioWrtCellStr,
    VioSetCurPos,
    VioSetCurType,
    KbdReadAscii,
    WaitEvent,
    IdleManager,
    RtcGetAsciiTime,
    RtcGetAsciiDate,
    ReadUserVariable,
    WriteUserVariable,
    TransactionMsg,
    HostNote, // not a service: something the host did on its own (e.g. a stall key)
};

HOSTSIM_API const char* service_name(Service service);

// The services answer with hostlib's result codes (HOSTLIB_OK, ... in host/hostlib.h).

// A result that replaces a service's own answer; with `perform` false the call does nothing
// else (no text written, no key taken).
struct Forced {
    int result;
    bool perform;
};

// Forced results waiting for their services' next calls, taken in the order given.
class HOSTSIM_API ForcedResults {
public:
    void add(Service service, Forced forced);
    std::optional<Forced> take(Service service);

private:
    std::map<Service, std::deque<Forced>> waiting_;
};

} // namespace hostsim
