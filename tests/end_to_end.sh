#!/usr/bin/env bash
# Runs the built uninstaller as a user would, on a real profile laid out by
# make_sample_profile, and compares the whole profile before and after.
# Usage: end_to_end.sh native UNINSTALL MAKE_SAMPLE_PROFILE
set -uo pipefail
[ "$1" = native ] || { echo "end_to_end: only the native build runs here" >&2; exit 2; }
uninstall=$2 sample=$3
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
export HOME=$work/home VXEMU_FONT_TABLE=$work/fonts VXEMU_BROADCAST_LOG=$work/broadcasts
failures=0 checks=0
check() {  # check NAME COMMAND...
    checks=$((checks + 1))
    if "${@:2}"; then echo "ok   $1"; else echo "FAIL $1"; failures=$((failures + 1)); fi
}

fresh_profile() {
    chmod -R u+w "$HOME" 2>/dev/null; rm -rf "$HOME" "$VXEMU_FONT_TABLE" "$VXEMU_BROADCAST_LOG"
    mkdir -p "$HOME/AppData/Roaming" "$HOME/AppData/Local" "$HOME/Documents"
    echo keep > "$HOME/Documents/letter.txt"
    touch "$VXEMU_BROADCAST_LOG"
}

# One line per entry: path, type, mode, and the contents' digest for files.
snapshot() {
    (cd "$HOME" && find . -mindepth 1 -printf '%p\t%y\t%m\n' | sort | while IFS=$'\t' read -r p y m; do
        if [ "$y" = f ]; then printf '%s\t%s\t%s\t%s\n' "$p" "$y" "$m" "$(md5sum < "$p" | cut -c1-32)"
        else printf '%s\t%s\t%s\t-\n' "$p" "$y" "$m"; fi
    done)
}

# VX_E2E_WRAPPER runs the program under a checker (valgrind, for one).
read -r -a wrapper <<<"${VX_E2E_WRAPPER:-}"
run() {  # run ARGS... -> status in $status, output in $output
    output=$("${wrapper[@]}" "$uninstall" "$@" 2>&1 </dev/null); status=$?
}

R=./AppData/Roaming/Orvane/Brimlet/plugins/vexaline
L=./AppData/Local/Orvane/Pellmire/Brimlet/plugins/vexaline
C="./Lanterra Files/.sync_plugin_data/vexaline"

fresh_profile
"$sample" || { echo "FAIL make_sample_profile"; exit 1; }
before=$(snapshot)
fonts_before=$(cat "$VXEMU_FONT_TABLE")
check "sample registers six public fonts" test "$(grep -c '^1	' <<<"$fonts_before")" -eq 6
check "sample announces each added font" test "$(wc -l < "$VXEMU_BROADCAST_LOG")" -eq 6
: > "$VXEMU_BROADCAST_LOG"

for args in "--mode=update" "first --mode=update last" "--mode=update --mode=update"; do
    # shellcheck disable=SC2086
    run $args
    check "update mode ($args) exits 0 silently" test "$status:$output" = "0:"
    check "update mode ($args) changes nothing" test "$(snapshot)" = "$before"
    check "update mode ($args) sends no broadcast" test ! -s "$VXEMU_BROADCAST_LOG"
    check "update mode ($args) keeps the fonts" test "$(cat "$VXEMU_FONT_TABLE")" = "$fonts_before"
done

run --MODE=UPDATE "--mode=update " -mode=update --mode =update
check "full run exits 0 silently" test "$status:$output" = "0:"
after=$(snapshot)
gone=$(comm -23 <(echo "$before") <(echo "$after") | cut -f1)
new=$(comm -13 <(echo "$before") <(echo "$after"))
expected_gone=$(for P in "$R" "$L"; do
    printf '%s\n' "$P/r/Brimlet Sans.otf" "$P/r/BrimletMono" "$P/r/Pinned.otf" "$P/r/partial.tmp" \
        "$P/e/Brimlet Sans.otf" "$P/e/index.bin" "$P/settings.json" "$P/log.txt" "$P/c/entitlements.xml"
done; printf '%s\n' "$C/sync.db" "$C/font.otf")
check "full run removes exactly the plugin's files" test "$gone" = "$(sort <<<"$expected_gone")"
pinned=$(grep -F "$R/r/Pinned.otf	" <<<"$before" | cut -f2-)
check "read-only fonts are moved aside with their contents" test "$(cut -f2- <<<"$new" | sort -u)" = "$pinned"
check "one moved-aside file per r folder, named del*.TMP" \
    test "$(cut -f1 <<<"$new" | grep -cE '^\./AppData/(Roaming|Local)/.*/vexaline/r/del[0-9A-F]{1,4}\.TMP$')" -eq 2
check "no font is left in the font table" test ! -s "$VXEMU_FONT_TABLE"
check "one broadcast per r folder that had removals" test "$(grep -c 'hwnd=0xffff msg=0x1d wparam=0 lparam=0' "$VXEMU_BROADCAST_LOG")" -eq 2

: > "$VXEMU_BROADCAST_LOG"
run
check "second run exits 0" test "$status" -eq 0
check "second run leaves the moved-aside files alone" test "$(snapshot)" = "$after"
check "second run sends no broadcast" test ! -s "$VXEMU_BROADCAST_LOG"

fresh_profile
empty=$(snapshot)
run
check "no plugin folders: exit 0, nothing touched" test "$status:$(snapshot)" = "0:$empty"
mkdir -p "$HOME/$L/r" "$HOME/$C"
echo x > "$HOME/$L/r/a.otf"; echo y > "$HOME/$C/z"; echo k > "$HOME/$L/r/k.txt"
run
check "only some folders: exit 0, those cleaned" test "$status:$(ls "$HOME/$L/r"):$(ls "$HOME/$C")" = "0:k.txt:"
rm -rf "$HOME/AppData"
run
check "unresolvable known folders: exit 0" test "$status" -eq 0

echo "$((checks - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
