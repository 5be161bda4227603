#!/usr/bin/env bash
# Runs the built uninstaller as a user would, on a real profile laid out by
# make_sample_profile, and compares the whole profile before and after.
# Usage: end_to_end.sh native UNINSTALL MAKE_SAMPLE_PROFILE
#        end_to_end.sh windows UNINSTALL.exe MAKE_SAMPLE_PROFILE.exe WINE-RUN
# The native build runs with a temporary HOME; a Windows build runs in a
# fresh Wine prefix, whose user profile is the profile.
set -uo pipefail
mode=$1 uninstall=$2 sample=$3
work=$(mktemp -d) wine=${4:-}
export VXEMU_FONT_TABLE=$work/fonts VXEMU_BROADCAST_LOG=$work/broadcasts
# shellcheck source=tests/e2e_common.sh
. "$(dirname "$0")/e2e_common.sh"

fresh_profile() {
    if native; then
        chmod -R u+w "$HOME" 2>/dev/null; rm -rf "$HOME"
    else  # Wine's own profile stays; only what the tests add goes
        chmod -R u+w "$HOME" 2>/dev/null
        rm -rf "$HOME/AppData/Roaming/Orvane" "$HOME/AppData/Local/Orvane" "$HOME/Lanterra Files"
    fi
    rm -rf "$VXEMU_FONT_TABLE" "$VXEMU_BROADCAST_LOG"
    mkdir -p "$HOME/AppData/Roaming" "$HOME/AppData/Local" "$HOME/Documents"
    echo keep > "$HOME/Documents/letter.txt"
    touch "$VXEMU_BROADCAST_LOG"
}

R=./AppData/Roaming/Orvane/Brimlet/plugins/vexaline
L=./AppData/Local/Orvane/Pellmire/Brimlet/plugins/vexaline
C="./Lanterra Files/.sync_plugin_data/vexaline"

fresh_profile
"${runner[@]}" "$sample" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf </dev/null ||
    { echo "FAIL make_sample_profile"; exit 1; }
before=$(snapshot "$HOME")
# The emulation shows its font table and broadcasts; Wine keeps them inside.
fonts_before=$(cat "$VXEMU_FONT_TABLE" 2>/dev/null)
if native; then
    check "sample registers six public fonts" test "$(grep -c '^1	' <<<"$fonts_before")" -eq 6
    check "sample announces each added font" test "$(wc -l < "$VXEMU_BROADCAST_LOG")" -eq 6
fi
: > "$VXEMU_BROADCAST_LOG"

for args in "--mode=update" "first --mode=update last" "--mode=update --mode=update"; do
    # shellcheck disable=SC2086
    run $args
    check "update mode ($args) exits 0 silently" test "$status:$output" = "0:"
    check "update mode ($args) changes nothing" test "$(snapshot "$HOME")" = "$before"
    native_check "update mode ($args) sends no broadcast" test ! -s "$VXEMU_BROADCAST_LOG"
    native_check "update mode ($args) keeps the fonts" test "$(cat "$VXEMU_FONT_TABLE" 2>/dev/null)" = "$fonts_before"
done

run --MODE=UPDATE "--mode=update " -mode=update --mode =update
check "full run exits 0 silently" test "$status:$output" = "0:"
after=$(snapshot "$HOME")
gone=$(comm -23 <(echo "$before") <(echo "$after") | cut -f1)
new=$(comm -13 <(echo "$before") <(echo "$after"))
expected_gone=$(for P in "$R" "$L"; do
    printf '%s\n' "$P/r/Brimlet Sans.otf" "$P/r/BrimletMono" "$P/r/Pinned.otf" "$P/r/partial.tmp" \
        "$P/e/Brimlet Sans.otf" "$P/e/index.bin" "$P/settings.json" "$P/log.txt" "$P/c/entitlements.xml"
done; printf '%s\n' "$C/sync.db" "$C/font.otf")
check "full run removes exactly the plugin's files" test "$gone" = "$(sort <<<"$expected_gone")"
pinned=$(grep -E "/r/Pinned.otf	" <<<"$before" | cut -f2- | sort)
check "read-only fonts are moved aside with their contents" test "$(cut -f2- <<<"$new" | sort)" = "$pinned"
# Windows names them del + hex + ".TMP"; Wine writes lower case.
check "one moved-aside file per r folder, named del*.TMP" \
    test "$(cut -f1 <<<"$new" | grep -ciE '^\./AppData/(Roaming|Local)/.*/vexaline/r/del[0-9A-F]{1,4}\.TMP$')" -eq 2
# Wine 8 reloads public fonts from its server's registry cache in every new
# process, so a removal there does not outlast the process that made it
# (measured: the count gives 6 twice in a row). Windows removes a public font
# for the whole session, as the emulation does; under Wine the in-process
# font tests are what show the removal.
if native; then
    left=$("${runner[@]}" "$sample" --count-registered </dev/null | tr -d '\r')
    check "no sample font is left in the font table ($left)" test "$left" = 0
fi
native_check "no font is left in the font table" test ! -s "$VXEMU_FONT_TABLE"
native_check "one broadcast per r folder that had removals" test "$(grep -c 'hwnd=0xffff msg=0x1d wparam=0 lparam=0' "$VXEMU_BROADCAST_LOG")" -eq 2

: > "$VXEMU_BROADCAST_LOG"
run
check "second run exits 0" test "$status" -eq 0
# On Wine the lower-case ".tmp" makes them temporary files to the font walk,
# but they are still read-only, so its plain delete leaves them too.
check "second run leaves the moved-aside files alone" test "$(snapshot "$HOME")" = "$after"
native_check "second run sends no broadcast" test ! -s "$VXEMU_BROADCAST_LOG"

# The count sees registered fonts: six after laying out a profile.
fresh_profile
"${runner[@]}" "$sample" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf </dev/null
check "the font count sees the sample's six fonts" \
    test "$("${runner[@]}" "$sample" --count-registered </dev/null | tr -d '\r')" = 6

fresh_profile
empty=$(snapshot "$HOME")
run
check "no plugin folders: exit 0, nothing touched" test "$status:$(snapshot "$HOME")" = "0:$empty"
mkdir -p "$HOME/$L/r" "$HOME/$C"
echo x > "$HOME/$L/r/a.otf"; echo y > "$HOME/$C/z"; echo k > "$HOME/$L/r/k.txt"
run
check "only some folders: exit 0, those cleaned" test "$status:$(ls "$HOME/$L/r"):$(ls "$HOME/$C")" = "0:k.txt:"
# It reads no input: with standard input a pipe that never closes, the run
# still ends by itself.
exec 3< <(sleep 300)
writer=$!
output=$(timeout 120 "${runner[@]}" "$uninstall" 2>&1 <&3); status=$?
exec 3<&-
kill "$writer" 2>/dev/null
check "reads no input: ends with standard input a pipe that never closes" test "$status:$output" = "0:"
if native; then
    rm -rf "$HOME/AppData"
    run
    check "unresolvable known folders: exit 0" test "$status" -eq 0
fi

summary
