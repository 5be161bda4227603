#!/bin/sh
# Runs a Windows test program under 32-bit Wine in the build's own prefix.
: "${WINEPREFIX:?set by the windows test preset}"
# Where qemu-i386 stands in for the kernel's 32-bit support, Wine needs the
# guest address space reserved up front or it cannot place its shared data.
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0xf7000000}
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all,err+module}" WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
