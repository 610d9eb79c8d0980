#!/bin/sh
# Runs a Windows program under wine, headless: no debug output, no prompt to install browser
# or .NET support. WINEPREFIX, WINELOADER and WINESERVER come from the caller (the Windows
# toolchain files set them: wine64's loader and server, which hand a 32-bit program to wine's
# 32-bit loader). Before the program, the first run (under a lock, so that parallel tests
# agree) starts a wine server that outlives it by a minute, and wine's background services
# with their output detached: each later program starts without them, and no background
# service holds a test's output open after the program ends.
#   tools/wine.sh PROGRAM.exe [ARGUMENTS...]
: "${WINEPREFIX:?WINEPREFIX names the wine prefix}"
: "${WINELOADER:=wine64}"
: "${WINESERVER:=wineserver}"
export WINEPREFIX WINELOADER WINESERVER
export WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
# Where the kernel hands i386 programs to qemu-i386, wine's 32-bit loader runs in qemu's guest
# address space. Unless qemu reserves that space for the guest up front, it may place the guest
# where the fixed addresses wine needs are taken ("failed to map the shared user data"); the
# reservation makes every start alike. A machine that runs i386 programs itself ignores it.
export QEMU_RESERVED_VA="${QEMU_RESERVED_VA:-0xf7000000}"
mkdir -p "$(dirname "$WINEPREFIX")"
flock -o "$WINEPREFIX.lock" sh -c '"$WINESERVER" -p60 </dev/null >/dev/null 2>&1 &&
    "$WINELOADER" wineboot </dev/null >/dev/null 2>&1' || :
exec "$WINELOADER" "$@"
