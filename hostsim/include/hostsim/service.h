// The services that the plug-in calls, and results forced on their next calls.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>

#include "hostsim/api.h"

namespace hostsim {

// Every service of hostlib, once: its name, its parameters as host/hostlib.h declares them,
// and the call on the current host that performs it. hostlib exports each as `_` + name
// (src/services.cpp), the trace shows it under that name, and the PE loader binds a DLL's
// import of that name to it; the Service enumerators are these names in this order.
// clang-format off
#define HOSTSIM_SERVICES(X)                                                                        \
    X(VioWrtCharStr,                                                                               \
      (const char* text, uint16_t length, uint8_t row, uint8_t column, uint16_t* /*word*/,         \
       uint16_t reserved),                                                                         \
      svc_write_text(text, length, row, column, std::nullopt, reserved))                           \
    X(VioWrtCharStrAtt,                                                                            \
      (const char* text, uint16_t length, uint8_t row, uint8_t column, uint8_t attribute,          \
       uint16_t* /*word*/, uint16_t reserved),                                                     \
      svc_write_text(text, length, row, column, attribute, reserved))                              \
    X(VioReadCellStr,                                                                              \
      (char* cells, uint16_t count, uint8_t row, uint8_t column, uint16_t* /*word*/,               \
       uint16_t reserved),                                                                         \
      svc_read_cells(cells, count, row, column, reserved))                                         \
    X(VioWrtCellStr,                                                                               \
      (const char* cells, uint16_t count, uint8_t row, uint8_t column, uint16_t* /*word*/,         \
       uint16_t reserved),                                                                         \
      svc_write_cells(cells, count, row, column, reserved))                                        \
    X(VioSetCurPos, (uint8_t row, uint8_t column), svc_set_cursor_position(row, column))           \
    X(VioSetCurType, (uint16_t type), svc_set_cursor_type(type))                                   \
    X(KbdReadAscii, (uint16_t* key), svc_read_key(key))                                            \
    X(WaitEvent, (uint32_t milliseconds), svc_wait_event(milliseconds))                            \
    X(IdleManager, (uint16_t request), svc_idle(request))                                          \
    X(RtcGetAsciiTime, (uint16_t format, char* text, uint8_t* status),                             \
      svc_time(format, text, status))                                                              \
    X(RtcGetAsciiDate, (uint16_t format, char* text, uint8_t* status),                             \
      svc_date(format, text, status))                                                              \
    X(ReadUserVariable, (int number, char* text), svc_read_variable(number, text))                 \
    X(WriteUserVariable, (int number, const char* text), svc_write_variable(number, text))         \
    X(TransactionMsg, (uint16_t on), svc_transaction(on))
// clang-format on

enum class Service : uint8_t {
#define HOSTSIM_SERVICE_ENUMERATOR(name, parameters, call) name,
    HOSTSIM_SERVICES(HOSTSIM_SERVICE_ENUMERATOR)
#undef HOSTSIM_SERVICE_ENUMERATOR
        HostNote, // not a service: something the host did on its own (e.g. a stall key)
};

// The name under which the trace shows the service: hostlib's exported name ("host" for
// HostNote).
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
