# Windows x86-64 with MinGW-w64, POSIX thread model: the Windows sources built for a machine
# whose programs wine can run, so the whole test suite runs against the Windows code paths.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(OPKIT_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests run under wine64, headless (no debug output, no prompt to install browser or .NET
# support), in a wine prefix of the build's own that the first run creates.
find_program(OPKIT_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
get_filename_component(opkit_wine_dir "${OPKIT_WINE64}" DIRECTORY)
find_program(OPKIT_WINESERVER NAMES wineserver64 wineserver HINTS ${opkit_wine_dir}
    NO_CMAKE_FIND_ROOT_PATH)
if(OPKIT_WINE64 AND OPKIT_WINESERVER AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(OPKIT_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    # Before a program runs, the first run (under a lock, so parallel tests agree) starts a
    # wine server that outlives it by a minute, and wine's background services with their
    # output detached. Each later program then starts in a fraction of a second, and no
    # background service holds a test's output open after the program ends.
    set(opkit_wine_start
        "flock -o \"$WINEPREFIX.lock\" sh -c '\"$WINESERVER\" -p60 </dev/null >/dev/null 2>&1 && \"$WINELOADER\" wineboot </dev/null >/dev/null 2>&1' || : && exec \"$WINELOADER\" \"$@\"")
    set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
        WINELOADER=${OPKIT_WINE64} WINESERVER=${OPKIT_WINESERVER} WINEPREFIX=${OPKIT_WINEPREFIX}
        sh -c ${opkit_wine_start} wine64)
endif()
