// hostlib's C services: each converts its arguments and forwards to the current host.
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

int _VioWrtCharStr(const char* text, uint16_t length, uint8_t row, uint8_t column,
                   uint16_t* /*word*/, uint16_t reserved) {
    return Host::current_or_default().svc_write_text(text, length, row, column, std::nullopt,
                                                     reserved);
}

int _VioWrtCharStrAtt(const char* text, uint16_t length, uint8_t row, uint8_t column,
                      uint8_t attribute, uint16_t* /*word*/, uint16_t reserved) {
    return Host::current_or_default().svc_write_text(text, length, row, column, attribute,
                                                     reserved);
}

int _VioReadCellStr(char* cells, uint16_t count, uint8_t row, uint8_t column,
                    uint16_t* /*word*/, uint16_t reserved) {
    return Host::current_or_default().svc_read_cells(cells, count, row, column, reserved);
}

int _VioWrtCellStr(const char* cells, uint16_t count, uint8_t row, uint8_t column,
                   uint16_t* /*word*/, uint16_t reserved) {
    return Host::current_or_default().svc_write_cells(cells, count, row, column, reserved);
}

int _VioSetCurPos(uint8_t row, uint8_t column) {
    return Host::current_or_default().svc_set_cursor_position(row, column);
}

int _VioSetCurType(uint16_t type) { return Host::current_or_default().svc_set_cursor_type(type); }

int _KbdReadAscii(uint16_t* key) { return Host::current_or_default().svc_read_key(key); }

int _WaitEvent(uint32_t milliseconds) {
    return Host::current_or_default().svc_wait_event(milliseconds);
}

int _IdleManager(uint16_t request) { return Host::current_or_default().svc_idle(request); }

int _RtcGetAsciiTime(uint16_t format, char* text, uint8_t* status) {
    return Host::current_or_default().svc_time(format, text, status);
}

int _RtcGetAsciiDate(uint16_t format, char* text, uint8_t* status) {
    return Host::current_or_default().svc_date(format, text, status);
}

int _ReadUserVariable(int number, char* text) {
    return Host::current_or_default().svc_read_variable(number, text);
}

int _WriteUserVariable(int number, const char* text) {
    return Host::current_or_default().svc_write_variable(number, text);
}

int _TransactionMsg(uint16_t on) { return Host::current_or_default().svc_transaction(on); }

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
