#!/usr/bin/env bash
# Prepares (start) or ends (stop) the Wine prefix of one leg of a Windows
# build's tests: VX_WINE_MODE and WINEPREFIX as for cmake/wine-run.sh. The
# build's tests run these as the CTest fixture of their leg. Wine's helper
# processes would otherwise keep ctest's pipes open after each test.
# Fails, saying why, when the prefix could not be made.
set -u
: "${WINEPREFIX:?}" "${VX_WINE_MODE:?}"
run="$(dirname "$0")/../cmake/wine-run.sh"
export WINEDEBUG=-all
fail() { echo "wine-prefix.sh: $VX_WINE_MODE prefix $WINEPREFIX: $*" >&2; wineserver -k 2>/dev/null; exit 1; }
case "${1:-}" in
    start)
        # A server left running in this prefix (a run that was cut short)
        # would never let "wineserver -w" return.
        wineserver -k 2>/dev/null
        timeout 600 "$run" wineboot -i >/dev/null 2>&1 || fail "wineboot -i failed ($?)"
        timeout 300 wineserver -w || fail "the server did not end after wineboot ($?)"
        [ -f "$WINEPREFIX/system.reg" ] && [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ] ||
            fail "wineboot made no prefix"
        if [ "$VX_WINE_MODE" = wow64 ]; then
            # The 32-bit half of a win64 prefix: empty when WoW64 cannot run.
            [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] ||
                fail "no 32-bit DLLs in syswow64: WoW64 mode does not run here"
        fi
        # A server that stays up between the tests spares each its start-up.
        wineserver -p </dev/null >/dev/null 2>&1 || fail "no persistent server"
        timeout 300 "$run" wineboot >/dev/null 2>&1 || fail "wineboot in the prepared prefix failed ($?)"
        echo "wine-prefix.sh: $VX_WINE_MODE prefix ready" ;;
    stop)
        wineserver -k 2>/dev/null
        exit 0 ;;
    *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
