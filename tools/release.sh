#!/usr/bin/env bash
# Builds a release into dist/ from scratch, and checks it:
#   opkit-host_<version>_<arch>.deb   the command-line host, hostlib, the native plug-in and the
#                                     example scripts, for Debian 12 (apt install ./<file>)
#   opkitarm-<version>.zip            the handheld terminals' DLL for application authors
#   opkitx86-<version>.zip            the Win32 x86 terminals' DLL for application authors
#   opkit-host-win32-<version>.zip    opkit-host.exe for Windows with hostlib.dll and that
#                                     very opkitx86.dll, the examples and a README
# Each DLL zip holds the DLL, its .def file, hostlib.h, a README and the licence. The build
# folders build/release, build/release-arm, build/release-x86 and build/release-win32 are made
# afresh (release-win32 after release-x86, whose DLL it takes). Prints each artifact with its
# size and SHA-256 (also written to dist/SHA256SUMS) and the time taken.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$(date +%s)

bash tools/install-deps.sh
if [ -d .git ] || git rev-parse --git-dir >/dev/null 2>&1; then
    if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
        echo "warning: the checkout has uncommitted changes; they go into the release" >&2
    fi
fi

rm -rf dist
mkdir -p dist
jobs=$(nproc 2>/dev/null || echo 2)
for preset in release release-arm release-x86 release-win32; do
    echo "==== $preset"
    rm -rf "build/$preset"
    cmake --preset "$preset"
    cmake --build --preset "$preset" -j "$jobs"
    cpack --preset "$preset"
    find "build/$preset/packages" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \) \
        -exec cp {} dist/ \;
done

echo "==== checking the packages"
bash tools/test-release.sh dist

(cd dist && sha256sum -- *.deb *.zip >SHA256SUMS)
echo "==== release in dist/ ($(($(date +%s) - started)) s)"
cd dist
for file in *.deb *.zip; do
    printf '%-28s %9d bytes  sha256 %s\n' "$file" "$(stat -c %s "$file")" \
        "$(sha256sum "$file" | cut -d' ' -f1)"
done
