#!/bin/sh
# Runs a 64-bit Windows test program under Wine in the build's own prefix.
: "${WINEPREFIX:?set by the windows64 test preset}"
export WINEARCH=win64 WINEDEBUG="${WINEDEBUG:--all,err+module}" WINEDLLOVERRIDES="mscoree,mshtml="
exec /usr/lib/wine/wine64 "$@"
