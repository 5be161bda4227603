#!/usr/bin/env bash
# Prepares (start) or ends (stop) the Wine prefix of one mode of the windows
# build's tests: VX_WINE_MODE (wow64 or classic) and WINEPREFIX as for
# cmake/wine-run.sh. Wine's helper processes otherwise keep ctest's pipes
# open after each test.
set -u
: "${WINEPREFIX:?}" "${VX_WINE_MODE:?}"
run="$(dirname "$0")/../cmake/wine-run.sh"
export WINEDEBUG=-all
case "${1:-}" in
    start)
        # A server left running in this prefix (a run that was cut short)
        # would never let "wineserver -w" return.
        wineserver -k 2>/dev/null
        timeout 600 "$run" wineboot -i >/dev/null 2>&1
        timeout 300 wineserver -w
        # A server that stays up between the tests spares each its start-up.
        wineserver -p </dev/null >/dev/null 2>&1
        timeout 300 "$run" wineboot >/dev/null 2>&1
        exit 0 ;;
    stop)
        wineserver -k 2>/dev/null
        exit 0 ;;
    *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
