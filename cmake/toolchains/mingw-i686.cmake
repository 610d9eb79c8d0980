# 32-bit Windows (x86) with MinGW-w64, POSIX thread model: hostlib.dll, the test suite and
# opkit-host.exe for Win32, which load the x86 build's opkitx86.dll itself with LoadLibrary,
# so that wine's Win32 loader binds the deliverable's imports to this hostlib.dll and to its
# own msvcrt.dll and kernel32.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(OPKIT_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests run under wine's 32-bit loader, on this machine an i386 Linux program under qemu-i386.
set(OPKIT_WINE_BITS 32)
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
