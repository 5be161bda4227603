#!/usr/bin/env bash
# What a real profile can hold in the plugin's folders, against a built
# uninstaller: odd names, paths at the MAX_PATH edge, hidden and read-only
# files, links leading out of the plugin's folders (walked folders that are
# links, and then a plugin folder that is one), and a folder of 10,000 files.
# The run must exit 0 and leave everything outside the plugin's folders as
# it was.
# Usage: hostile_profile.sh native UNINSTALL
#        hostile_profile.sh windows UNINSTALL.exe WINE-RUN
set -uo pipefail
mode=$1 uninstall=$2
work=$(mktemp -d) wine=${3:-}
# shellcheck source=tests/e2e_common.sh
. "$(dirname "$0")/e2e_common.sh"

# Everything the run may not change: the folder the links lead to and the
# whole profile but the plugin's own folders.
outside_snapshot() { snapshot "$work" -path "./${R#"$work"/}" -o -path "./${L#"$work"/}"; }

R=$HOME/AppData/Roaming/Orvane/Brimlet/plugins/vexaline
L=$HOME/AppData/Local/Orvane/Pellmire/Brimlet/plugins/vexaline
mkdir -p "$R/r" "$R/e" "$R/c" "$HOME/AppData/Local/Orvane/Pellmire/Brimlet/plugins" "$work/outside/dir"
echo secret > "$work/outside/target.otf"; echo inside > "$work/outside/dir/file"

odd=("a b.otf" ".hidden.otf" "x.y.z.otf" "noext" $'\xf0\x9f\x98\x80.otf' "sp. ace" "..keep" "...json" "..x.otf")
# Names Win32 reads as others: it drops a path's final dots and spaces, so
# "x.ttf " would name "x.ttf". Such files (other tools make them) stay.
misread=("trailing dot." "x.ttf " "x.ttf")
for n in "${odd[@]}" "${misread[@]}"; do echo f > "$R/r/$n"; echo f > "$R/e/$n"; echo f > "$R/$n"; echo f > "$R/c/$n"; done
# Where the shell's reading of those ".." names points, one folder up.
for n in pluginskeep plugins.json pluginsx.otf vexalinekeep vexaline.json vexalinex.otf; do
    echo outside > "$HOME/AppData/Roaming/Orvane/Brimlet/$n"
    echo outside > "$HOME/AppData/Roaming/Orvane/Brimlet/plugins/$n"
done
echo ro > "$R/r/..ro.otf"; chmod a-w "$R/r/..ro.otf"
echo ro > "$R/e/..ro"; chmod a-w "$R/e/..ro"
for d in "$R/r" "$R/e" "$R" "$R/c"; do
    echo ro > "$d/readonly.bin"; chmod a-w "$d/readonly.bin"
    echo ro > "$d/readonly-font.otf"; chmod a-w "$d/readonly-font.otf"
done
ln -s "$work/outside/dir" "$R/e/link-to-dir"
ln -s "$work/outside/dir" "$R/r/link-to-dir.otf"
# Links to files outside: Windows and the emulation open such a link as
# itself and remove it; Wine opens its target, and only the final path
# tells, so there the link stays and so does its target.
echo pinned > "$work/outside/pinned.otf"; chmod a-w "$work/outside/pinned.otf"
ln -s "$work/outside/target.otf" "$R/r/link-to-file.otf"
ln -s "$work/outside/pinned.otf" "$R/r/link-to-pinned.otf"
ln -s "$work/outside/target.otf" "$R/e/link-to-file"
ln -s "$work/outside/target.otf" "$R/c/link-to-file"
# Names that are not UTF-8 on the host: Wine lists both of a pair with
# U+FFFD, and a name that matches no file exactly opens the first one that
# matches in another case. Fonts may go; the ".OTF" files, another kind of
# file to a font folder, stay.
for i in 1 2 3 4 5 6; do echo f > "$R/r/v"$'\xe9'"$i.otf"; echo keep > "$R/r/v"$'\xe8'"$i.OTF"; done
# Hard links to files outside: under Wine, a delete or a rename acts on a
# path string that the Linux side can lead to the other name; both stay.
echo hard > "$work/outside/hard.otf"; ln "$work/outside/hard.otf" "$R/r/hard.otf"; ln "$work/outside/hard.otf" "$R/e/hard"

# Full Windows paths of 259, 260 and 261 characters in the "e" folder.
if native; then win_r="C:$R"; else win_r="C:${R#"$WINEPREFIX/drive_c"}"; fi
winlen=$(( ${#win_r} + 3 ))   # and "\e\"
for total in 259 260 261; do
    name=$(printf "%0$((total - winlen))d" 0 | tr 0 "$((total - 258))")
    echo f > "$R/e/$name"
done

# The local set's walked folders are links to folders elsewhere, with files
# the run must not touch (a font, a document); the cloud-files plugin
# folder is a link too.
mkdir -p "$L" "$work/outside/fonts" "$work/outside/docs" "$work/outside/cloud"
echo font > "$work/outside/fonts/MyFont.otf"; echo doc > "$work/outside/docs/report.docx"
echo db > "$work/outside/cloud/sync.db"
ln -s "$work/outside/fonts" "$L/r"; ln -s "$work/outside/docs" "$L/e"; ln -s "$work/outside/docs" "$L/c"
C=$HOME/"Lanterra Files/.sync_plugin_data/vexaline"
mkdir -p "$(dirname "$C")"; ln -s "$work/outside/cloud" "$C"


mkdir -p "$R/c/many"
(cd "$R/c" && seq -f 'bulk%05g.bin' 10000 | xargs touch)

outside_before=$(outside_snapshot)
run
judge "exits 0 silently; nothing outside the plugin's folders changed" "$outside_before" \
    "$work" -path "./${R#"$work"/}" -o -path "./${L#"$work"/}"
check "the link targets stay" test "$(cat "$work/outside/target.otf" "$work/outside/pinned.otf" "$work/outside/dir/file" | tr '\n' :)" = "secret:pinned:inside:"
if native; then
    check "links to files go, links to folders stay" \
        test "$(cd "$R" && ls -d c/link-* e/link-* r/link-* 2>/dev/null | tr '\n' ' ')" = "e/link-to-dir r/link-to-dir.otf "
else
    check "links to files and folders stay" \
        test "$(cd "$R" && ls -d c/link-* e/link-* r/link-* 2>/dev/null | tr '\n' ' ')" = "c/link-to-file e/link-to-dir e/link-to-file r/link-to-dir.otf r/link-to-file.otf r/link-to-pinned.otf "
fi
check "hard links stay, and so does their outside name" \
    test "$(cat "$R/r/hard.otf" "$R/e/hard" "$work/outside/hard.otf" | tr '\n' :)" = "hard:hard:hard:"
check "names that are not UTF-8: every .OTF stays whole" \
    test "$(cat "$R/r/v"$'\xe8'*.OTF | grep -c '^keep$')" = 6
for n in "${odd[@]}" x.ttf; do
    check "e, plugin and c folders lose '$n'" test ! -e "$R/e/$n" -a ! -e "$R/$n" -a ! -e "$R/c/$n"
done
for n in "trailing dot." "x.ttf "; do
    check "'$n' stays in every folder" test -e "$R/r/$n" -a -e "$R/e/$n" -a -e "$R/$n" -a -e "$R/c/$n"
done
# "sp. ace" has no extension (a space after the last dot cancels it): a font;
# "..keep" has the extension ".keep": not one.
expected_r=$(printf '%s\n' "..keep" "...json" "trailing dot." "x.ttf" "x.ttf " | LC_ALL=C sort | tr '\n' '|')
check "r folder: fonts go, other names stay" \
    test "$(cd "$R/r" && ls -A | grep -avi '^del' | LC_ALL=C grep -av '^readonly\|^link\|^v[^ -~]\|^hard' | LC_ALL=C sort | tr '\n' '|')" = "$expected_r"
check "read-only files stay in delete walks" \
    test -e "$R/e/readonly.bin" -a -e "$R/readonly.bin" -a -e "$R/c/readonly-font.otf" -a -e "$R/e/..ro"
check "read-only fonts in r are moved aside there" \
    test ! -e "$R/r/readonly-font.otf" -a ! -e "$R/r/..ro.otf" -a "$(ls "$R/r" | grep -ci '^del')" -eq 2
check "259-character path deleted, 260 and 261 skipped" \
    test "$(ls "$R/e" | awk '{print length($0)}' | sort -n | tail -2 | tr '\n' ' ')" = "$((260 - winlen)) $((261 - winlen)) "
check "10,000 files in one folder all go" \
    test "$(ls "$R/c" | grep -v '^trailing dot.$\|^x.ttf $\|^link-to-file$' | tr '\n' ' ')" = "many readonly-font.otf readonly.bin "
check "walked folders that are links are not walked" \
    test "$(cat "$work/outside/fonts/MyFont.otf"):$(cat "$work/outside/docs/report.docx"):$(cat "$work/outside/cloud/sync.db")" = "font:doc:db"

# A plugin folder that is a link puts its letter and "c" folders in the
# link's target: none of them is walked. The local "c" is still a link.
rm -rf "$R"
mkdir -p "$work/outside/set/r" "$work/outside/set/e" "$work/outside/set/c"
for f in r/font.otf e/data.bin c/cache.bin top.bin; do echo "set $f" > "$work/outside/set/$f"; done
ln -s "$work/outside/set" "$R"
outside_before=$(outside_snapshot)
run
check "a linked plugin folder: exits 0 silently" test "$status:$output" = "0:"
check "a linked plugin folder: its target's r, e and c folders stay" \
    test "$(cd "$work/outside/set" && find . -type f | sort | tr '\n' ' ')" = "./c/cache.bin ./e/data.bin ./r/font.otf ./top.bin "
check "a linked plugin folder: nothing outside changed" test "$(outside_snapshot)" = "$outside_before"

summary
