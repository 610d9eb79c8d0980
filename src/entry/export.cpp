// The library's only export: `main(int message, char* record)`, unmangled. The C++ function
// has an ordinary name; ELF builds give its symbol the name `main` with an asm label, Windows
// builds export it under that name through the module-definition file.
#include "entry/dispatch.h"

#if defined(_WIN32)
#include <windows.h>

extern "C" int opkit_exported_main(int message, char* record);

// Loading starts nothing; the library only asks not to be told about threads.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
#else
extern "C" __attribute__((visibility("default"))) int
opkit_exported_main(int message, char* record) __asm__("main");
#endif

extern "C" int opkit_exported_main(int message, char* record) {
    return opkit::opkit_main(message, record);
}
