# ARM32 Linux (hard-float EABI): the test side that runs opkitarm.dll's own code through
# hostsim's PE loader, the unit tests included. Here `char` is unsigned (in the DLL, built for
# Windows on ARM, it is signed) and `long` is 32 bits; tests run under qemu-arm with the ARM
# sysroot, and the build stops when qemu-arm is missing.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(OPKIT_ARM_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${OPKIT_ARM_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${OPKIT_ARM_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${OPKIT_ARM_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(OPKIT_EMULATOR_NEEDED "qemu-arm (Debian package qemu-user)")
find_program(OPKIT_QEMU_ARM NAMES qemu-arm qemu-arm-static)
if(OPKIT_QEMU_ARM AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${OPKIT_QEMU_ARM} -L /usr/${OPKIT_ARM_TRIPLET})
endif()
