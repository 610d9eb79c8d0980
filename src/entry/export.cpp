// The library's only export: `main(int message, char* record)`, unmangled. The C++ function
// has an ordinary name; ELF builds give its symbol the name `main` with an asm label, Windows
// builds export it under that name through the module-definition file.
#include "entry/dispatch.h"

#include <stdint.h>

#if defined(_WIN32)
// The DLL links no C or C++ runtime start-up: the loader calls this entry directly. The two
// declarations it needs are written out here, so that the build needs no system headers.
#if defined(_M_IX86) || defined(__i386__)
#define OPKIT_WINAPI __stdcall
#else
#define OPKIT_WINAPI
#endif

extern "C" int opkit_exported_main(int message, char* record);

#if !defined(_WIN32_WCE)
extern "C" __declspec(dllimport) int OPKIT_WINAPI DisableThreadLibraryCalls(void* module);
#endif

// Loading starts nothing; the desktop build only asks not to be told about threads. Reason 1
// is the attach to a process.
extern "C" int OPKIT_WINAPI DllMain(void* instance, uint32_t reason, void* /*reserved*/) {
#if defined(_WIN32_WCE)
    (void)instance;
    (void)reason;
#else
    if (reason == 1) {
        DisableThreadLibraryCalls(instance);
    }
#endif
    return 1;
}
#else
extern "C" __attribute__((visibility("default"))) int
opkit_exported_main(int message, char* record) __asm__("main");
#endif

extern "C" int opkit_exported_main(int message, char* record) {
    return opkit::opkit_main(message, record);
}
