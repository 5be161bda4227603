#!/usr/bin/env bash
# Every test of both builds: installs what is missing, checks the format and
# runs clang-tidy, then builds and tests the native build, and the 32-bit
# Windows product under Wine: in WoW64 mode on every machine, and in the
# classic 32-bit mode too where the kernel runs 32-bit programs.
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8
unset LC_ALL

stamp() { date +%s; }
t0=$(stamp)
scripts/setup.sh
t1=$(stamp)

cmake --preset native >/dev/null
cmake --preset windows >/dev/null
scripts/static-checks.sh
t2=$(stamp)
cmake --build --preset native
t3=$(stamp)
ctest --preset native
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan
scripts/fuzz.sh "${VX_FUZZ_SECONDS:-30}"
t4=$(stamp)

cmake --build --preset windows
t5=$(stamp)
modes=$(sed -n 's/^VX_WINE_MODES:INTERNAL=//p' build/windows/CMakeCache.txt | tr ';' ' ')
for mode in $modes; do
    VX_WINE_MODE=$mode WINEPREFIX="$PWD/build/windows/wine-$mode" scripts/wine-prefix.sh start
done
status=0
ctest --preset windows || status=$?
for mode in $modes; do
    VX_WINE_MODE=$mode WINEPREFIX="$PWD/build/windows/wine-$mode" scripts/wine-prefix.sh stop
done
t6=$(stamp)

echo "timings: setup $((t1 - t0)) s, format and tidy $((t2 - t1)) s, native build $((t3 - t2)) s," \
     "native tests, sanitizers and fuzzing $((t4 - t3)) s, windows build $((t5 - t4)) s," \
     "windows tests (Wine: ${modes:-none}) $((t6 - t5)) s, all $((t6 - t0)) s"
# WoW64 is left out only where the kernel runs no 32-bit code at all.
case " $modes " in
    *" wow64 "*) ;;
    *) # Nothing on such a kernel runs 32-bit code at a usable speed: Wine
       # under qemu-i386 took 12 min to make a prefix and 84 s for one run.
       echo "NOT RUN UNDER WINE: this kernel runs no 32-bit x86 code (no 32-bit" \
            "programs, no 32-bit code segment for WoW64), so the 32-bit product was" \
            "built and checked but not run; run this command on a kernel with" \
            "32-bit emulation to test it under Wine" ;;
esac
exit "$status"
