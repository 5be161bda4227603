# Sourced by the end-to-end scripts, after they set `mode` (native or
# windows), `work` (a temporary folder they own) and, for windows, `wine`
# (cmake/wine-run.sh, which runs in the mode VX_WINE_MODE names).
# The native build runs with HOME in `work`; a Windows build runs in a fresh
# Wine prefix there, whose user profile becomes HOME. Gives `runner` (what
# to run a program with), `native`, `winpath`, `run`, `snapshot`, `check`,
# `judge` and `summary`.

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

# A host path as the program names it: the emulation maps C: to the host's
# root; Wine maps C: to the prefix's drive_c and Z: to the host's root.
winpath() {
    local p=$1
    if native; then p="C:$p"
    elif [ "${p#"$WINEPREFIX/drive_c"}" != "$p" ]; then p="C:${p#"$WINEPREFIX/drive_c"}"
    else p="Z:$p"; fi
    echo "${p//\//\\}"
}

# run ARGS...: status in $status, what it printed in $output. With
# witness=1 the run also writes a log outside everything a snapshot sees:
# under Wine a killed process reads as status 0 having printed nothing, so
# only the log's summary line shows that an unchanged profile is the work of
# a run that reached its end.
witness=0
run() {
    local log=()
    rm -rf "$work/witness"
    if [ "$witness" = 1 ]; then mkdir -p "$work/witness"; log=("--log=$(winpath "$work/witness/run.log")"); fi
    output=$(cd "${cwd:-$work}" && "${runner[@]}" "$uninstall" "$@" "${log[@]}" 2>&1 </dev/null); status=$?
}
# "yes" when the last run had no witness, or its witness saw it end well.
finished() {
    if [ ! -d "$work/witness" ]; then echo yes; return; fi
    tr -d '\r' <"$work/witness/run.log" 2>/dev/null | tail -1 | grep -q 'exit status 0$' && echo yes || echo no
}

# Every entry below a folder (work unless named), a line each: path, type,
# mode and a file's digest. FIND-TESTS prune more. What Wine itself writes
# is left out by name, or a listing would blame the program for the server:
# its windows folder, the Public and Microsoft folders, the registry hives,
# and prefix/reg<pid><n>.tmp, through which the server saves the registry
# about every 30 s whenever a program has started (each there 30-100 ms).
snapshot() {  # snapshot [FOLDER [FIND-TESTS...]]
    local root=${1:-$work} more=()
    shift $(($# > 0 ? 1 : 0))
    [ $# -eq 0 ] || more=(-o \( "$@" \))
    (cd "$root" && find . -mindepth 1 \( -path ./prefix/drive_c/windows -o -path '*/drive_c/users/Public' \
        -o -path '*/AppData/*/Microsoft' -o -name '*.reg' -o -path './prefix/reg*.tmp' -o -path ./witness "${more[@]}" \) \
        -prune -o -printf '%p\t%y\t%m\n' | LC_ALL=C sort | while IFS=$'\t' read -r p y m; do
        if [ "$y" = f ]; then printf '%s\t%s\t%s\t%s\n' "$p" "$y" "$m" "$(md5sum <"$p" | cut -c1-12)"
        else printf '%s\t%s\t%s\t-\n' "$p" "$y" "$m"; fi
    done)
}

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

# judge NAME EXPECTED [FOLDER [FIND-TESTS...]]: the last run exited 0,
# printed nothing, reached its end and left the snapshot as EXPECTED. A
# failure shows what was judged: the status, the output, and the
# differences of the very snapshot compared.
judge() {
    local name=$1 expected=$2 after
    shift 2
    after=$(snapshot "$@")
    check "$name" test "$status:$output:$(finished):$after" = "0::yes:$expected" && return
    echo "  status $status, finished $(finished), printed: ${output:0:600}"
    diff <(echo "$expected") <(echo "$after") | head -20
    return 1
}

summary() {
    echo "$((checks - failures)) passed, $failures failed"
    [ "$failures" -eq 0 ]
}
