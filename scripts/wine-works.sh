#!/usr/bin/env bash
# Exit 0 when 32-bit Wine can run a program of the windows build here; else
# print why and exit 1, leaving no Wine process behind.
# Usage: wine-works.sh EXE [ARGS...]
set -u
export WINEPREFIX=${WINEPREFIX:-$(mktemp -d)/probe} WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
command -v wine >/dev/null || { echo "wine is not installed"; exit 1; }
# Wine's 32-bit loader is an i386 Linux program: a kernel with its 32-bit
# support switched off (ia32_emulation) cannot start it at all.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    echo "this kernel runs no 32-bit programs, so 32-bit Wine cannot start"
    exit 1
fi
log=$(mktemp)
# Wine's helpers outlive the program and hold its output open: write to a
# file, and end every process of this prefix afterwards.
timeout "${VX_WINE_PROBE_SECONDS:-180}" wine "$@" >"$log" 2>&1 </dev/null; rc=$?
timeout 20 wineserver -k >/dev/null 2>&1
for p in /proc/[0-9]*; do
    [ "${p#/proc/}" = "$$" ] && continue
    grep -qa wine "$p/cmdline" 2>/dev/null || continue
    grep -qzx "WINEPREFIX=$WINEPREFIX" "$p/environ" 2>/dev/null && kill -9 "${p#/proc/}" 2>/dev/null
done
if [ "$rc" -ne 0 ]; then
    why=$(grep -v '^\s*$' "$log" | tail -n 2 | tr '\n' ' ')
    [ "$rc" -eq 124 ] && why="no answer in ${VX_WINE_PROBE_SECONDS:-180} s ${why}"
    echo "wine could not run $(basename "$1") (exit $rc): $why"
    rm -f "$log"
    exit 1
fi
rm -f "$log"
