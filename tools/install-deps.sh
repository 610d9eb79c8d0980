#!/usr/bin/env bash
# Installs the Debian packages that building and testing opkit need, when any is missing, and
# makes the machine run 32-bit x86 Linux programs (wine's 32-bit loader) when it cannot yet.
# Runs as root (or through sudo when available). The 32-bit x86 libraries come from
# g++-12-multilib, not g++-multilib, which cannot be installed beside the ARM cross compiler.
# wine32 is a package of the i386 architecture, which dpkg is told about first.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    libgtest-dev googletest libbenchmark-dev libcli11-dev libncurses-dev libfmt-dev
    valgrind gcovr tmux locales clang-format-14 python3 man-db
    g++-mingw-w64-x86-64-posix wine wine64
    lld llvm g++-arm-linux-gnueabihf g++-12-multilib lib32stdc++-12-dev qemu-user
)
# The 32-bit Windows build and wine's 32-bit loader, and the headless browser that reads
# opkit-host's HTML report in the tests, without the packages they only recommend.
lean_packages=(g++-mingw-w64-i686-posix wine32:i386 chromium)

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi

not_installed() {
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            echo "$package"
        fi
    done
}
mapfile -t missing < <(not_installed "${packages[@]}")
mapfile -t missing_lean < <(not_installed "${lean_packages[@]}")

if [ ${#missing[@]} -ne 0 ] || [ ${#missing_lean[@]} -ne 0 ]; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "adding the i386 architecture to dpkg (for wine32)"
        "${as_root[@]}" dpkg --add-architecture i386
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${as_root[@]}" apt-get update -q
    if [ ${#missing[@]} -ne 0 ]; then
        echo "installing: ${missing[*]}"
        "${as_root[@]}" apt-get install -y -q "${missing[@]}"
    fi
    if [ ${#missing_lean[@]} -ne 0 ]; then
        echo "installing without recommended packages: ${missing_lean[*]}"
        "${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing_lean[@]}"
    fi
fi

# wine's 32-bit loader is an i386 Linux program. A kernel built without 32-bit x86 support
# refuses it ("Exec format error"); the kernel's binfmt_misc then hands i386 programs to
# qemu-i386 instead. The registration lasts until the machine restarts.
wine32_loader=/usr/lib/wine/wine
if "$wine32_loader" --version >/dev/null 2>&1; then
    exit 0
fi
binfmt=/proc/sys/fs/binfmt_misc
qemu=$(command -v qemu-i386 || true)
if [ -z "$qemu" ]; then
    echo "install-deps: $wine32_loader does not run and there is no qemu-i386 (package qemu-user)" >&2
    exit 1
fi
echo "this kernel does not run i386 programs: registering $qemu for them with binfmt_misc"
if [ ! -e "$binfmt/register" ]; then
    "${as_root[@]}" mount -t binfmt_misc binfmt_misc "$binfmt" || {
        echo "install-deps: cannot mount binfmt_misc on $binfmt" >&2
        exit 1
    }
fi
if [ -e "$binfmt/opkit-i386" ]; then
    # A registration of ours whose interpreter has gone away: make it afresh.
    echo -1 | "${as_root[@]}" tee "$binfmt/opkit-i386" >/dev/null
fi
# ELF, 32-bit, little-endian, executable or shared object, machine 3 (i386); flag F opens the
# interpreter now, so that it is found from any folder or mount namespace.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":opkit-i386:M::$magic:$mask:$qemu:F" | "${as_root[@]}" tee "$binfmt/register" >/dev/null || {
    echo "install-deps: binfmt_misc refused the i386 registration" >&2
    exit 1
}
if ! "$wine32_loader" --version >/dev/null 2>&1; then
    echo "install-deps: $wine32_loader still does not run after registering $qemu" >&2
    exit 1
fi
echo "i386 programs run under $qemu: $("$wine32_loader" --version)"
