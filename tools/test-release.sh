#!/usr/bin/env bash
# Checks the release packages as a user gets them:
#   the .deb   its name and Version carry the project's version and it declares its library
#              dependencies; unpacked into a scratch root (dpkg -x), the installed opkit-host
#              reports the version, finds the installed plug-in without flags and passes
#              `run` on the installed examples, and holds no path of the build machine; its
#              manual page renders with `man -l` without a warning and its bash completion
#              completes;
#              apt accepts it (simulated) when apt-get is there and this runs as root
#   each zip   exactly the DLL, opkit.def, hostlib.h, README.txt and LICENSE, the DLL's version
#              resource says the project's version, and the README names it
#   the Win32 zip  exactly opkit-host.exe, hostlib.dll, opkitx86.dll (the very bytes of the x86
#              zip's), the examples, README.txt and LICENSE; unpacked, its opkit-host.exe passes
#              `run` on its examples under wine, from the unpacked folder
#   tools/test-release.sh DIR   checks the .deb and the three zips in DIR (tools/release.sh)
#   tools/test-release.sh       packages the builds of the native, arm, x86 and win32 stages
#                               (building what is missing) with CPack into a scratch folder and
#                               checks them
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
started=$(date +%s)

version=$(sed -n 's/^project(opkit VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no project version in CMakeLists.txt" >&2; exit 2; }
readobj=$(command -v llvm-readobj || command -v llvm-readobj-14)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

if [ $# -ge 1 ]; then
    packages=$(cd "$1" && pwd)
else
    packages=$scratch/packages
    mkdir -p "$packages"
    for preset in native arm x86 win32; do
        if [ ! -f "build/$preset/CPackConfig.cmake" ]; then
            cmake --preset "$preset" >/dev/null
        fi
        cmake --build --preset "$preset" >/dev/null
        (cd "build/$preset" && cpack -B "$scratch/cpack-$preset" >/dev/null)
        find "$scratch/cpack-$preset" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.zip' \) \
            -exec cp {} "$packages/" \;
    done
fi

# ---------------------------------------------------------------- the Debian package
deb=$(find "$packages" -maxdepth 1 -name "opkit-host_${version}_*.deb" | head -n 1)
if [ -z "$deb" ]; then
    fail "no opkit-host_${version}_*.deb in $packages: $(ls "$packages")"
else
    echo "---- $(basename "$deb")"
    [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "deb Version is $(dpkg-deb -f "$deb" Version)"
    depends=$(dpkg-deb -f "$deb" Depends)
    echo "Depends: $depends"
    for library in libc6 libstdc++6 libncurses; do
        [[ "$depends" == *"$library"* ]] || fail "the deb does not depend on $library"
    done
    root=$scratch/root
    dpkg -x "$deb" "$root"
    tool=$root/usr/bin/opkit-host
    for file in "$tool" "$root/usr/lib/opkit/hostlib.so" "$root/usr/lib/opkit/opkit.so" \
        "$root/usr/share/doc/opkit-host/copyright"; do
        [ -f "$file" ] || fail "the deb lacks ${file#"$root"}"
    done
    reported=$("$tool" --version) || fail "opkit-host --version failed"
    [ "$reported" = "opkit-host $version" ] || fail "opkit-host --version says '$reported'"
    examples=("$root"/usr/share/opkit/examples/*.txt)
    [ -f "${examples[0]}" ] || fail "the deb holds no examples"
    # Run from the scratch root's parent, with no build folder around: the plug-in can only
    # be found from the tool's own location.
    if (cd "$scratch" && "$tool" --color never run --quiet "${examples[@]}") >"$scratch/run.log" 2>&1; then
        tail -n 1 "$scratch/run.log"
    else
        cat "$scratch/run.log"
        fail "opkit-host run on the installed examples"
    fi
    # The manual page and the completion where man and bash-completion look for them; man
    # renders the page without a warning.
    manpage=$root/usr/share/man/man1/opkit-host.1.gz
    completion=$root/usr/share/bash-completion/completions/opkit-host
    for file in "$manpage" "$completion"; do
        [ -f "$file" ] || fail "the deb lacks ${file#"$root"}"
    done
    if [ -f "$manpage" ]; then
        if ! command -v man >/dev/null; then
            fail "man is missing (tools/install-deps.sh installs man-db)"
        elif ! MANWIDTH=80 man --warnings -l "$manpage" >"$scratch/man.txt" 2>"$scratch/man.log" ||
            [ -s "$scratch/man.log" ] || ! grep -q "opkit-host" "$scratch/man.txt"; then
            cat "$scratch/man.log"
            fail "man -l does not render ${manpage#"$root"} cleanly"
        else
            echo "man page: $(wc -l <"$scratch/man.txt") lines, no warnings"
        fi
    fi
    if [ -f "$completion" ]; then
        completed=$(bash -c 'source "$1"; COMP_WORDS=(opkit-host r); COMP_CWORD=1; _opkit_host
            echo "${COMPREPLY[*]}"' _ "$completion" 2>&1)
        [ "$completed" = "run" ] || fail "the installed completion completes 'opkit-host r' as '$completed'"
    fi
    if grep -rqF "$source_dir" "$root"; then
        fail "the installed files hold the build path $source_dir: $(grep -rlF "$source_dir" "$root")"
    fi
    if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
        apt-get install -s -q "$deb" >"$scratch/apt.log" 2>&1 || {
            cat "$scratch/apt.log"
            fail "apt-get does not accept the deb"
        }
    fi
fi

# ---------------------------------------------------------------- the zips
for dll in opkitarm opkitx86; do
    zip=$packages/$dll-$version.zip
    if [ ! -f "$zip" ]; then
        fail "no $dll-$version.zip in $packages"
        continue
    fi
    echo "---- $(basename "$zip")"
    listed=$(unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/||' | sort | tr '\n' ' ')
    expected=$(printf '%s\n' "$dll.dll" opkit.def hostlib.h README.txt LICENSE | sort | tr '\n' ' ')
    [ "$listed" = "$expected" ] || fail "$dll zip holds '$listed', expected '$expected'"
    unzip -q -o "$zip" -d "$scratch/$dll"
    found=$(find "$scratch/$dll" -name "$dll.dll" | head -n 1)
    if [ -n "$found" ]; then
        cmake -DDLL="$found" -DREADOBJ="$readobj" -DVERSION="$version" \
            -P cmake/check_version.cmake || fail "$dll.dll version resource"
    fi
    readme=$(find "$scratch/$dll" -name README.txt | head -n 1)
    if [ -n "$readme" ]; then
        grep -q "opkit $version for" "$readme" || fail "$dll README does not name version $version"
    fi
done

# ---------------------------------------------------------------- the Win32 zip
zip=$packages/opkit-host-win32-$version.zip
if [ ! -f "$zip" ]; then
    fail "no opkit-host-win32-$version.zip in $packages"
else
    echo "---- $(basename "$zip")"
    listed=$(unzip -Z1 "$zip" | grep -v '/$' | sed 's|^[^/]*/||' | sort | tr '\n' ' ')
    expected=$( (printf '%s\n' opkit-host.exe hostlib.dll opkitx86.dll README.txt LICENSE
        cd examples && find . -name '*.txt' -o -name '*.tbl' | sed 's|^\./|examples/|') |
        sort | tr '\n' ' ')
    [ "$listed" = "$expected" ] || fail "the Win32 zip holds '$listed', expected '$expected'"
    win32=$scratch/win32
    unzip -q -o "$zip" -d "$win32"
    folder=$(dirname "$(find "$win32" -name opkit-host.exe | head -n 1)")
    shipped=$(find "$scratch/opkitx86" -name opkitx86.dll | head -n 1)
    if [ -z "$shipped" ] || ! cmp -s "$folder/opkitx86.dll" "$shipped"; then
        fail "the Win32 zip's opkitx86.dll is not the one of opkitx86-$version.zip"
    fi
    echo "opkitx86.dll sha256 $(sha256sum "$folder/opkitx86.dll" | cut -d' ' -f1)"
    # The unpacked program under wine (32-bit: wine's loader runs under qemu-i386 where the
    # kernel runs no i386 program), in the Windows builds' prefix, on its own examples.
    wine_dir=/usr/lib/wine
    export WINEPREFIX=$source_dir/build/wineprefix WINELOADER=$wine_dir/wine64
    export WINESERVER=$wine_dir/wineserver64
    examples=()
    while IFS= read -r example; do
        examples+=("$example")
    done < <(cd "$folder" && find examples -maxdepth 1 -name '*.txt' | sort)
    if (cd "$folder" && sh "$source_dir/tools/wine.sh" ./opkit-host.exe --color never run \
        --quiet "${examples[@]}") >"$scratch/wine.log" 2>&1; then
        tr -d '\r' <"$scratch/wine.log" | tail -n 1
    else
        tr -d '\r' <"$scratch/wine.log"
        fail "opkit-host.exe run on the Win32 zip's examples under wine"
    fi
    "$WINESERVER" -k 2>/dev/null || true
fi

echo "release checks: $failures failed ($(($(date +%s) - started)) s)"
[ "$failures" -eq 0 ]
