# Windows x86 (32-bit) with MinGW-w64, POSIX thread model: builds opkitx86.dll for Win32.
# The machines that build this run no 32-bit programs, so nothing built here is executed;
# the build is checked by inspecting the DLL.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(OPKIT_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
