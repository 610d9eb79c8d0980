// The services of the host runtime's support library, hostlib. The plug-in imports every
// screen, keyboard, clock, user-variable and transaction-message service from it by name;
// a terminal's own hostlib and the emulated one under hostsim/ both provide exactly these.
#pragma once

#include <stdint.h>

#if defined(_WIN32)
#if defined(HOSTLIB_BUILDING)
#define HOSTLIB_API __declspec(dllexport)
#else
#define HOSTLIB_API __declspec(dllimport)
#endif
#else
#define HOSTLIB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Screen cells are 2 bytes each: the character, then the attribute.
HOSTLIB_API int _VioWrtCharStr(const char* text, uint16_t length, uint8_t row, uint8_t column,
                               uint16_t* word, uint16_t reserved);
HOSTLIB_API int _VioWrtCharStrAtt(const char* text, uint16_t length, uint8_t row, uint8_t column,
                                  uint8_t attribute, uint16_t* word, uint16_t reserved);
HOSTLIB_API int _VioReadCellStr(char* cells, uint16_t count, uint8_t row, uint8_t column,
                                uint16_t* word, uint16_t reserved);
HOSTLIB_API int _VioWrtCellStr(const char* cells, uint16_t count, uint8_t row, uint8_t column,
                               uint16_t* word, uint16_t reserved);
HOSTLIB_API int _VioSetCurPos(uint8_t row, uint8_t column);
HOSTLIB_API int _VioSetCurType(uint16_t type);

// 0: a key was read and stored; 5: no key waiting. Key code 256 is the abort key.
HOSTLIB_API int _KbdReadAscii(uint16_t* key);
// Returns when the host has an event for the application or the time has passed.
HOSTLIB_API int _WaitEvent(uint32_t milliseconds);
// Runs the host's idle work; a non-zero result asks the caller to stop.
HOSTLIB_API int _IdleManager(uint16_t request);

// The clock texts, by the format code passed first (see HOSTLIB_TIME_12 and the codes after
// the declarations).
HOSTLIB_API int _RtcGetAsciiTime(uint16_t format, char* text, uint8_t* status);
HOSTLIB_API int _RtcGetAsciiDate(uint16_t format, char* text, uint8_t* status);

// Read: results 1 and 3 are failures. Write: 5 means the text did not fit.
HOSTLIB_API int _ReadUserVariable(int number, char* text);
HOSTLIB_API int _WriteUserVariable(int number, const char* text);
HOSTLIB_API int _TransactionMsg(uint16_t on);

#if !defined(_WIN32) || defined(_WIN32_WCE)
// On the handheld the case-insensitive compare comes from hostlib, not the C runtime.
HOSTLIB_API int stricmp(const char* left, const char* right);
#endif

#ifdef __cplusplus
}
#endif

// Results of the services.
#define HOSTLIB_OK 0             // done; a key was read
#define HOSTLIB_BAD_NUMBER 1     // user variable read: no variable of that number
#define HOSTLIB_UNREADABLE 3     // user variable read: the variable cannot be read
#define HOSTLIB_NO_KEY 5         // keyboard: no key waiting
#define HOSTLIB_WRITE_TOO_LONG 5 // user variable write: the text did not fit

// Format codes of the clock services.
#define HOSTLIB_TIME_12 1  // time: hhmmss (12-hour) then AM or PM
#define HOSTLIB_TIME_24 2  // time: HHMMSS (24-hour)
#define HOSTLIB_DATE_MDY 1 // date: MMDDYY
#define HOSTLIB_DATE_YMD 3 // date: YYMMDD

// The longest text a user variable holds, without its NUL.
#define HOSTLIB_VARIABLE_MAX 131
