#!/bin/sh
# Runs a Windows test program under Wine in the build's own prefix: 32-bit
# Wine for WINEARCH=win32 (the product), 64-bit Wine for win64.
: "${WINEPREFIX:?set by the windows test presets}"
export WINEARCH="${WINEARCH:-win32}" WINEDEBUG="${WINEDEBUG:--all,err+module}" WINEDLLOVERRIDES="mscoree,mshtml="
[ "$WINEARCH" = win64 ] && exec /usr/lib/wine/wine64 "$@"
exec wine "$@"
