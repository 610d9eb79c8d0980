# Windows x86-64 with MinGW-w64, POSIX thread model: the Windows sources built for a machine
# whose programs wine can run, so the whole test suite runs against the Windows code paths.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(OPKIT_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests run under wine64.
set(OPKIT_WINE_BITS 64)
include(${CMAKE_CURRENT_LIST_DIR}/wine.cmake)
