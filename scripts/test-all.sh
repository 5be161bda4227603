#!/usr/bin/env bash
# Every test of both builds: installs what is missing, then configures,
# builds and tests the native build, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8
unset LC_ALL

stamp() { date +%s; }
t0=$(stamp)
scripts/setup.sh
t1=$(stamp)

cmake --preset native >/dev/null
cmake --build --preset native
t2=$(stamp)
ctest --preset native
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan
scripts/fuzz.sh "${VX_FUZZ_SECONDS:-30}"
t3=$(stamp)

cmake --preset windows >/dev/null
cmake --build --preset windows
t4=$(stamp)
# The product's own checks need no Wine.
ctest --preset windows -R '^exe_is_console_pe32$'
wine_note=""
if reason=$(WINEPREFIX="$PWD/build/windows/wineprobe" scripts/wine-works.sh build/windows/uninstall.exe --mode=update); then
    WINEPREFIX="$PWD/build/windows/wineprefix" WINEARCH=win32 scripts/wine-prefix.sh start
    ctest --preset windows -E '^exe_is_console_pe32$'
    WINEPREFIX="$PWD/build/windows/wineprefix" scripts/wine-prefix.sh stop
else
    wine_note="windows tests under Wine NOT RUN: $reason"
    if [ "${VX_REQUIRE_WINE:-0}" = 1 ]; then echo "$wine_note" >&2; exit 1; fi
fi
t5=$(stamp)

# The same sources built for 64-bit Windows run under 64-bit Wine, which
# needs no 32-bit support from the kernel: the real Win32 side of the
# doorway and the contract suite are checked here even where the product's
# own 32-bit tests cannot run.
cmake --preset windows64 >/dev/null
cmake --build --preset windows64
WINEPREFIX="$PWD/build/windows64/wineprefix" WINEARCH=win64 scripts/wine-prefix.sh start
ctest --preset windows64
WINEPREFIX="$PWD/build/windows64/wineprefix" scripts/wine-prefix.sh stop
t6=$(stamp)

echo "timings: setup $((t1 - t0)) s, native build $((t2 - t1)) s, native tests, sanitizers and fuzzing $((t3 - t2)) s," \
     "windows build $((t4 - t3)) s, windows tests $((t5 - t4)) s," \
     "windows64 build and tests under wine64 $((t6 - t5)) s"
[ -z "$wine_note" ] || echo "NOTE: $wine_note"
