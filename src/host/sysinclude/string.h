// The C runtime declarations that the Windows DLL builds need. Those builds compile without
// any system headers (only the compiler's own stddef.h, stdint.h and stdarg.h), so the DLL
// can call nothing but what is declared here and imported through src/entry/imports/.
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

void* memcpy(void* to, const void* from, size_t count);
void* memset(void* to, int value, size_t count);
size_t strlen(const char* text);
char* strchr(const char* text, int c);
int _strcmpi(const char* left, const char* right);

#ifdef __cplusplus
}
#endif
