#!/bin/sh
# Runs a Windows test program under 32-bit Wine in the build's own prefix.
: "${WINEPREFIX:?set by the windows test preset}"
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all,err+module}" WINEDLLOVERRIDES="mscoree,mshtml="
exec wine "$@"
