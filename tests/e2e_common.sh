# Sourced by the end-to-end scripts, after they set `mode` (native or
# windows), `work` (a temporary folder they own) and, for windows, `wine`
# (cmake/wine-run.sh, which runs in the mode VX_WINE_MODE names).
# The native build runs with HOME in `work`; a Windows build runs in a fresh
# Wine prefix there, whose user profile becomes HOME. Gives `runner` (what
# to run a program with), `native`, `check` and `summary`.

# VX_E2E_WRAPPER runs the program under a checker (valgrind, for one).
read -r -a runner <<<"${VX_E2E_WRAPPER:-}"
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
if [ "$mode" = windows ]; then
    # No menu builder: it would write desktop entries into the profile.
    export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    runner=("$wine")
    # HOME becomes the prefix's profile, where wine-run.sh would look for
    # the 32-bit DLLs' cache in vain.
    VX_WINE32_DLLS=${VX_WINE32_DLLS:-$("$wine" --wine32-dlls)} && export VX_WINE32_DLLS
    "$wine" wineboot -i >/dev/null 2>&1; wineserver -w
    # One server for the whole script: without it each run starts a server
    # and the prefix's services again, and may meet the last one going down.
    # The services then stay up: they are started here, with nothing of the
    # script's open, or a later run's captured output would never end.
    wineserver -p </dev/null >/dev/null 2>&1
    "$wine" wineboot </dev/null >/dev/null 2>&1
    trap 'wineserver -k; chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
    HOME=$WINEPREFIX/drive_c/users/$(id -un)
else
    HOME=$work/home
fi
export HOME

native() { [ "$mode" = native ]; }

failures=0 checks=0
check() {  # check NAME COMMAND...
    checks=$((checks + 1))
    if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); return 1; fi
}

# A check of what only the emulation records (its font table and broadcast
# files): under Wine both are empty, so it would pass having seen nothing.
native_check() {
    if native; then check "$@"; else echo "skipped (native only) $1"; fi
}

summary() {
    echo "$((checks - failures)) passed, $failures failed"
    [ "$failures" -eq 0 ]
}
