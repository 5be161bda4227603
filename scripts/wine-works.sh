#!/usr/bin/env bash
# Exit 0 when 32-bit Wine can run a program of the windows build here.
# Usage: wine-works.sh EXE [ARGS...]
set -u
# Where qemu-i386 stands in for the kernel's 32-bit support, Wine needs the
# guest address space reserved up front or it cannot place its shared data.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0xf7000000}
export WINEPREFIX=${WINEPREFIX:-$(mktemp -d)/probe} WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
command -v wine >/dev/null || { echo "wine is not installed"; exit 1; }
out=$(timeout "${VX_WINE_PROBE_SECONDS:-300}" wine "$@" 2>&1); rc=$?
wineserver -k >/dev/null 2>&1
if [ "$rc" -ne 0 ]; then
    echo "wine could not run $(basename "$1") (exit $rc): $(tail -n 2 <<<"$out" | tr '\n' ' ')"
    exit 1
fi
