// The functions that the PE loader binds a plug-in DLL's imports to: the emulated host's
// services for hostlib.dll, this process's C library for the system's C runtime (with small
// equivalents of the names that the C library lacks), and a stub for the one KERNEL32 call.
// Nothing else is provided, so a new dependency of the DLL fails to load by name.
#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "hostsim/pe_loader.h"

namespace hostsim {

namespace {

// Win32 code keeps the stack 4-byte aligned, while this process's i386 code may rely on the
// 16 bytes of the Linux convention: every function the DLL calls realigns it on entry.
#if defined(__i386__)
#define FROM_DLL __attribute__((force_align_arg_pointer))
#define OPKIT_WINAPI __attribute__((stdcall))
#else
#define FROM_DLL
#define OPKIT_WINAPI
#endif

// A host service, called from the DLL.
template <auto F> struct HostCall;
template <typename R, typename... A, R (*F)(A...)> struct HostCall<F> {
    FROM_DLL static R call(A... args) { return F(args...); }
};

// Text of `value` in `radix` (2 to 36), lower-case digits; a minus sign only for a negative
// decimal, as the runtime's conversions write it.
char* to_text(uint32_t magnitude, bool negative, char* out, int radix) {
    if (radix < 2 || radix > 36) {
        out[0] = '\0';
        return out;
    }
    char digits[33];
    int count = 0;
    do {
        const uint32_t digit = magnitude % static_cast<uint32_t>(radix);
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        magnitude /= static_cast<uint32_t>(radix);
    } while (magnitude != 0);
    char* p = out;
    if (negative) {
        *p++ = '-';
    }
    while (count > 0) {
        *p++ = digits[--count];
    }
    *p = '\0';
    return out;
}

char* signed_text(int32_t value, char* out, int radix) {
    const bool negative = radix == 10 && value < 0;
    const uint32_t bits = static_cast<uint32_t>(value);
    return to_text(negative ? 0U - bits : bits, negative, out, radix);
}

FROM_DLL void* crt_memcpy(void* to, const void* from, size_t n) {
    return std::memcpy(to, from, n);
}
FROM_DLL void* crt_memset(void* to, int value, size_t n) {
    return std::memset(to, value, n);
}
FROM_DLL size_t crt_strlen(const char* text) {
    return std::strlen(text);
}
FROM_DLL char* crt_strchr(const char* text, int c) {
    return const_cast<char*>(std::strchr(text, c));
}
FROM_DLL char* crt_strncpy(char* to, const char* from, size_t n) {
    return std::strncpy(to, from, n);
}
FROM_DLL char* crt_strncat(char* to, const char* from, size_t n) {
    return std::strncat(to, from, n);
}
FROM_DLL int crt_atoi(const char* text) {
    return std::atoi(text);
}
// `long` is 32 bits on both Windows targets; these take and give exactly that.
FROM_DLL char* crt_itoa(int32_t value, char* out, int radix) {
    return signed_text(value, out, radix);
}
FROM_DLL char* crt_ltoa(int32_t value, char* out, int radix) {
    return signed_text(value, out, radix);
}
FROM_DLL char* crt_ultoa(uint32_t value, char* out, int radix) {
    return to_text(value, false, out, radix);
}
FROM_DLL char* crt_strupr(char* text) {
    for (char* p = text; *p != '\0'; ++p) {
        if (*p >= 'a' && *p <= 'z') {
            *p = static_cast<char>(*p - 'a' + 'A');
        }
    }
    return text;
}

#if defined(__arm__)
// The compiler's division helpers on Windows for ARM: divisor in r0, dividend in r1; the
// quotient comes back in r0 and the remainder in r1, which is how a 64-bit result returns.
// The caller has already trapped a zero divisor.
uint64_t rt_sdiv(int32_t divisor, int32_t dividend) {
    // In 64 bits, so that -2147483648 / -1 wraps instead of being undefined.
    const int64_t quotient = static_cast<int64_t>(dividend) / divisor;
    const int64_t remainder = static_cast<int64_t>(dividend) % divisor;
    return static_cast<uint32_t>(quotient) |
           (static_cast<uint64_t>(static_cast<uint32_t>(remainder)) << 32);
}
uint64_t rt_udiv(uint32_t divisor, uint32_t dividend) {
    return (dividend / divisor) | (static_cast<uint64_t>(dividend % divisor) << 32);
}
#endif

#if defined(__i386__)
// The runtime's compare in its "C" locale: ASCII letters fold, as in hostlib's stricmp.
FROM_DLL int crt_strcmpi(const char* left, const char* right) {
    return stricmp(left, right);
}
FROM_DLL int OPKIT_WINAPI disable_thread_library_calls(void* /*module*/) {
    return 1;
}
#endif

template <typename F> void* address_of(F* function) {
    return reinterpret_cast<void*>(function);
}

struct Import {
    const char* dll;
    const char* name;
    void* address;
};

#define HOST_SERVICE(name)                                                                         \
    { "hostlib.dll", #name, address_of(&HostCall<&name>::call) }

#if defined(__arm__)
#define CRT_DLL "coredll.dll"
#else
#define CRT_DLL "msvcrt.dll"
#endif

const Import kImports[] = {
    HOST_SERVICE(_VioWrtCharStr),
    HOST_SERVICE(_VioWrtCharStrAtt),
    HOST_SERVICE(_VioReadCellStr),
    HOST_SERVICE(_VioWrtCellStr),
    HOST_SERVICE(_VioSetCurPos),
    HOST_SERVICE(_VioSetCurType),
    HOST_SERVICE(_KbdReadAscii),
    HOST_SERVICE(_WaitEvent),
    HOST_SERVICE(_IdleManager),
    HOST_SERVICE(_RtcGetAsciiTime),
    HOST_SERVICE(_RtcGetAsciiDate),
    HOST_SERVICE(_ReadUserVariable),
    HOST_SERVICE(_WriteUserVariable),
    HOST_SERVICE(_TransactionMsg),
    {CRT_DLL, "memcpy", address_of(&crt_memcpy)},
    {CRT_DLL, "memset", address_of(&crt_memset)},
    {CRT_DLL, "strlen", address_of(&crt_strlen)},
    {CRT_DLL, "strchr", address_of(&crt_strchr)},
    {CRT_DLL, "strncpy", address_of(&crt_strncpy)},
    {CRT_DLL, "strncat", address_of(&crt_strncat)},
    {CRT_DLL, "atoi", address_of(&crt_atoi)},
    {CRT_DLL, "_itoa", address_of(&crt_itoa)},
    {CRT_DLL, "_ltoa", address_of(&crt_ltoa)},
    {CRT_DLL, "_ultoa", address_of(&crt_ultoa)},
    {CRT_DLL, "_strupr", address_of(&crt_strupr)},
#if defined(__arm__)
    // The handheld's hostlib provides the case-insensitive compare.
    HOST_SERVICE(stricmp),
    {CRT_DLL, "__rt_sdiv", address_of(&rt_sdiv)},
    {CRT_DLL, "__rt_udiv", address_of(&rt_udiv)},
#else
    {CRT_DLL, "_strcmpi", address_of(&crt_strcmpi)},
    {"kernel32.dll", "DisableThreadLibraryCalls", address_of(&disable_thread_library_calls)},
#endif
};

} // namespace

void* pe_import(std::string_view dll, std::string_view function) {
    for (const Import& import : kImports) {
        if (dll.size() == std::strlen(import.dll) &&
            strncasecmp(dll.data(), import.dll, dll.size()) == 0 && function == import.name) {
            return import.address;
        }
    }
    return nullptr;
}

} // namespace hostsim
