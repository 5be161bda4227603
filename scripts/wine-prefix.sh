#!/usr/bin/env bash
# Prepares (start) or ends (stop) the Windows test build's own Wine prefix.
# Wine's helper processes otherwise keep ctest's pipes open after each test.
set -u
: "${WINEPREFIX:?the windows test preset sets WINEPREFIX}"
export WINEARCH=win32 WINEDEBUG="${WINEDEBUG:--all}" WINEDLLOVERRIDES="mscoree,mshtml="
case "${1:-}" in
    start)
        timeout 2400 wineboot -i >/dev/null 2>&1
        timeout 1200 wineserver -w
        wineserver -p
        timeout 1200 wineboot >/dev/null 2>&1
        exit 0 ;;
    stop)
        wineserver -k 2>/dev/null
        exit 0 ;;
    *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
