# i386 Linux (g++-12 -m32 with the 32-bit libraries of g++-12-multilib): the test side that
# runs opkitx86.dll's own code through hostsim's PE loader. The machines that build this run
# no 32-bit x86 program themselves; tests run under qemu-i386, and the build stops when it is
# missing.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc-12)
set(CMAKE_CXX_COMPILER g++-12)

# The 32-bit compilers find the kernel's asm headers through an `asm` folder, which only the
# multiarch packages put on the include path: link it from the build tree instead of /usr.
set(opkit_i386_include ${CMAKE_BINARY_DIR}/i386-include)
if(NOT EXISTS ${opkit_i386_include}/asm AND EXISTS /usr/include/x86_64-linux-gnu/asm)
    file(MAKE_DIRECTORY ${opkit_i386_include})
    file(CREATE_LINK /usr/include/x86_64-linux-gnu/asm ${opkit_i386_include}/asm SYMBOLIC)
endif()
set(CMAKE_C_FLAGS_INIT "-m32 -isystem ${opkit_i386_include}")
set(CMAKE_CXX_FLAGS_INIT "-m32 -isystem ${opkit_i386_include}")
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)

set(OPKIT_EMULATOR_NEEDED "qemu-i386 (Debian package qemu-user)")
find_program(OPKIT_QEMU_I386 NAMES qemu-i386 qemu-i386-static)
if(OPKIT_QEMU_I386 AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${OPKIT_QEMU_I386})
endif()
