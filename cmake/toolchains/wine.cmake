# The tests of a MinGW build run under wine: the wine64 loader and server, which hand a 32-bit
# program to wine's 32-bit loader themselves, in one wine prefix that the Windows builds share
# (OPKIT_WINEPREFIX, build/wineprefix beside the build folders), through tools/wine.sh.
# OPKIT_WINE_BITS is 64 or 32: a 32-bit build also needs wine's 32-bit loader, an i386 Linux
# program that this kernel must be able to start. Without what it needs, the build stops
# (CMakeLists.txt) and says what to install.
set(opkit_wine32_runs FALSE)
if(OPKIT_WINE_BITS EQUAL 32)
    set(OPKIT_EMULATOR_NEEDED "wine's 32-bit loader (Debian package wine32:i386)")
    find_program(OPKIT_WINE32 NAMES wine PATHS /usr/lib/wine /usr/lib32/wine NO_DEFAULT_PATH)
    if(OPKIT_WINE32)
        execute_process(COMMAND ${OPKIT_WINE32} --version RESULT_VARIABLE opkit_wine32_status
            OUTPUT_QUIET ERROR_QUIET)
        if(opkit_wine32_status EQUAL 0)
            set(opkit_wine32_runs TRUE)
        else()
            string(CONCAT OPKIT_EMULATOR_PROBLEM "this machine does not start it ("
                ${OPKIT_WINE32} " --version fails): a kernel that runs no i386 program "
                "itself needs qemu-i386 registered with binfmt_misc for them")
        endif()
    endif()
else()
    set(OPKIT_EMULATOR_NEEDED "wine64 (Debian package wine64)")
endif()

find_program(OPKIT_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib64/wine NO_CMAKE_FIND_ROOT_PATH)
get_filename_component(opkit_wine_dir "${OPKIT_WINE64}" DIRECTORY)
find_program(OPKIT_WINESERVER NAMES wineserver64 wineserver HINTS ${opkit_wine_dir}
    NO_CMAKE_FIND_ROOT_PATH)
get_filename_component(opkit_build_root ${CMAKE_BINARY_DIR} DIRECTORY)
set(OPKIT_WINEPREFIX ${opkit_build_root}/wineprefix CACHE PATH
    "The wine prefix in which the Windows builds' programs run")
if(OPKIT_WINE64 AND OPKIT_WINESERVER AND (opkit_wine32_runs OR NOT OPKIT_WINE_BITS EQUAL 32)
   AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR env WINELOADER=${OPKIT_WINE64}
        WINESERVER=${OPKIT_WINESERVER} WINEPREFIX=${OPKIT_WINEPREFIX}
        sh ${CMAKE_CURRENT_LIST_DIR}/../../tools/wine.sh)
endif()
