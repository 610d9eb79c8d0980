// The functions that the PE loader binds a plug-in DLL's imports to: the emulated host's
// services for hostlib.dll (the table of hostsim/service.h), this process's C library for the
// system's C runtime (with the ARM build's division helper and the x86 runtime's compare
// under their own names), and a stub for the one KERNEL32 call. These are exactly the names
// of the plug-in's import lists (src/entry/imports); nothing else is provided, so a new
// dependency of the DLL fails to load by name until its list and this table both name it.
#include <strings.h>

#include <cstring>

#include "pe_loader.h"

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
#if defined(__arm__)
// The compiler's signed division helper on Windows for ARM: divisor in r0, dividend in r1;
// the quotient comes back in r0 and the remainder in r1, which is how a 64-bit result
// returns. The caller has already trapped a zero divisor.
uint64_t rt_sdiv(int32_t divisor, int32_t dividend) {
    // In 64 bits, so that -2147483648 / -1 wraps instead of being undefined.
    const int64_t quotient = static_cast<int64_t>(dividend) / divisor;
    const int64_t remainder = static_cast<int64_t>(dividend) % divisor;
    return static_cast<uint32_t>(quotient) |
           (static_cast<uint64_t>(static_cast<uint32_t>(remainder)) << 32);
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

#define HOSTSIM_SERVICE_IMPORT(name, parameters, call) HOST_SERVICE(_##name),

const Import kImports[] = {
    HOSTSIM_SERVICES(HOSTSIM_SERVICE_IMPORT){CRT_DLL, "memcpy", address_of(&crt_memcpy)},
    {CRT_DLL, "memset", address_of(&crt_memset)},
    {CRT_DLL, "strlen", address_of(&crt_strlen)},
    {CRT_DLL, "strchr", address_of(&crt_strchr)},
#if defined(__arm__)
    // The handheld's hostlib provides the case-insensitive compare.
    HOST_SERVICE(stricmp),
    {CRT_DLL, "__rt_sdiv", address_of(&rt_sdiv)},
#else
    {CRT_DLL, "_strcmpi", address_of(&crt_strcmpi)},
    {"kernel32.dll", "DisableThreadLibraryCalls", address_of(&disable_thread_library_calls)},
#endif
};

#undef HOSTSIM_SERVICE_IMPORT

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

std::vector<std::string> pe_import_names() {
    std::vector<std::string> names;
    for (const Import& import : kImports) {
        names.push_back(std::string(import.dll) + "!" + import.name);
    }
    return names;
}

} // namespace hostsim
