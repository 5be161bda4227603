#!/usr/bin/env bash
# Prepares (start) or ends (stop) a Windows test build's own Wine prefix.
# Wine's helper processes otherwise keep ctest's pipes open after each test.
set -u
: "${WINEPREFIX:?the windows test presets set WINEPREFIX}"
export WINEARCH=${WINEARCH:-win32} WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml="
wine=wine
[ "$WINEARCH" = win64 ] && wine=/usr/lib/wine/wine64
case "${1:-}" in
    start)
        timeout 600 "$wine" wineboot -i >/dev/null 2>&1
        timeout 300 wineserver -w
        # A server that stays up between the tests spares each its start-up.
        wineserver -p </dev/null >/dev/null 2>&1
        timeout 300 "$wine" wineboot >/dev/null 2>&1
        exit 0 ;;
    stop)
        wineserver -k 2>/dev/null
        exit 0 ;;
    *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
