#!/usr/bin/env bash
# Every test of every build: installs what is missing, checks the format and
# runs clang-tidy, then builds and tests the native build, and runs the
# Windows builds under Wine in every leg this machine has (tests/CMakeLists.txt
# finds them): the 32-bit product in the classic and WoW64 legs, and where
# neither runs, the x86-64 test build in the win64 leg. It fails when no leg
# ran. VX_WINE_LEGS (say "win64") keeps only the legs it names.
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8
unset LC_ALL

stamp() { date +%s; }
t0=$(stamp)
scripts/setup.sh
t1=$(stamp)

# Configuring twice over the same build folder must give the same tests.
for preset in native windows win64; do
    cmake --preset $preset >/dev/null
    cmake --preset $preset >/dev/null
done
scripts/static-checks.sh
t2=$(stamp)
cmake --build --preset native
t3=$(stamp)
ctest --preset native
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan
scripts/fuzz.sh "${VX_FUZZ_SECONDS:-20}"
t4=$(stamp)

# The x86-64 build is built everywhere, so that it cannot rot where its
# tests do not run.
cmake --build --preset windows
cmake --build --preset win64
t5=$(stamp)
legs=$(cat build/windows/wine-legs)
ctest --preset windows
if [ -z "$legs" ] || [[ " ${VX_WINE_LEGS:-} " == *" win64 "* ]]; then
    if [ -z "$legs" ] && [ -z "${VX_WINE_LEGS:-}" ]; then
        echo "NOT RUN UNDER WINE: the 32-bit product (no 32-bit leg here); the x86-64 test build stands in"
    fi
    win64=$(cat build/win64/wine-legs)
    [ -z "$win64" ] || ctest --preset win64
    legs="$legs $win64"
fi
t6=$(stamp)

legs=$(echo $legs)
echo "timings: setup $((t1 - t0)) s, format and tidy $((t2 - t1)) s, native build $((t3 - t2)) s," \
     "native tests, sanitizers and fuzzing $((t4 - t3)) s, windows builds $((t5 - t4)) s," \
     "Wine tests (legs: ${legs:-none}) $((t6 - t5)) s, all $((t6 - t0)) s"
if [ -z "$legs" ]; then
    echo "FAIL: no Wine leg ran, so nothing here proved the Windows build on a real Win32 implementation"
    exit 1
fi
