#!/usr/bin/env bash
# Installs the Debian packages that building and testing opkit need, when any is missing.
# Runs as root (or through sudo when available). The 32-bit x86 libraries come from
# g++-12-multilib, not g++-multilib, which cannot be installed beside the ARM cross compiler.
set -euo pipefail

packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev
    libgtest-dev googletest libbenchmark-dev libcli11-dev libncurses-dev libfmt-dev
    valgrind gcovr tmux locales
    g++-mingw-w64-x86-64-posix wine wine64
    lld llvm g++-arm-linux-gnueabihf g++-12-multilib lib32stdc++-12-dev qemu-user
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q "${missing[@]}"
