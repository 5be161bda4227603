#!/usr/bin/env bash
# The built uninstaller over files another program holds open, under Wine:
# nothing held may be lost, nothing stray may be left, and the run exits 0.
# Usage: held_files.sh windows UNINSTALL.exe HOLD_FILE.exe WINE-RUN
set -uo pipefail
mode=$1 uninstall=$2 hold=$3
work=$(mktemp -d) wine=$4
# shellcheck source=tests/e2e_common.sh
. "$(dirname "$0")/e2e_common.sh"

R=$HOME/AppData/Roaming/Orvane/Brimlet/plugins/vexaline
win_r='C:\users\'"$(id -un)"'\AppData\Roaming\Orvane\Brimlet\plugins\vexaline'
mkdir -p "$R/r" "$R/e"
hows=(none read read-delete read+map read-delete+map)
args=()
for how in "${hows[@]}"; do
    echo "font $how" > "$R/r/h-$how.otf"; echo "data $how" > "$R/e/h-$how.bin"
    args+=("$how:$win_r\\r\\h-$how.otf" "$how:$win_r\\e\\h-$how.bin")
done
"${runner[@]}" "$hold" 'C:\release' "${args[@]}" </dev/null >/dev/null 2>&1 &
holder=$!
# A Wine start can take half a minute on a loaded machine; without the
# files held, every check below would fail for nothing the program did.
for ((i = 0; i < 1200; i++)); do
    [ -e "$WINEPREFIX/drive_c/release.ready" ] || ! kill -0 "$holder" 2>/dev/null && break
    sleep 0.1
done
check "the helper holds every file" test -e "$WINEPREFIX/drive_c/release.ready" || { summary; exit; }

start=$(date +%s%N)
output=$("${runner[@]}" "$uninstall" 2>&1 </dev/null); status=$?
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
check "exits 0 silently while files are held" test "$status:$output" = "0:"
# Six files refuse for good: each is tried again for at most a second, and
# the run waits at most three seconds in all (and Wine needs one to start).
echo "run with held files: $elapsed_ms ms"
check "held files hold the run up no longer than the retry cap" test "$elapsed_ms" -lt 8000
for how in none read read+map; do
    # Opened without FILE_SHARE_DELETE: both the delete and the move are refused.
    # (Wine 8 lets a file whose only holder is a mapped view be opened for
    # delete, where Windows refuses: then the font's delete fails and it is
    # moved aside, whole, in its folder.)
    font=$(cat "$R/r/h-$how.otf" 2>/dev/null || { [ "$how" = read+map ] && grep -h "font $how" "$R/r/"[dD][eE][lL]*; })
    check "held ($how): the font stays whole" test "$font" = "font $how"
    check "held ($how): the file stays whole" test "$(cat "$R/e/h-$how.bin")" = "data $how"
done
touch "$WINEPREFIX/drive_c/release"; wait "$holder"
check "held with share-delete: gone once let go" test ! -e "$R/r/h-read-delete.otf" -a ! -e "$R/e/h-read-delete.bin"
# A mapped view with share-delete: Windows refuses the delete but allows the
# move, and so does Wine 8 to a delete made through a handle (its DeleteFileW
# let it through): the font is moved aside whole, the data file stays.
check "mapped with share-delete: the font moved aside whole, the file stays" \
    test "$(grep -l 'font read-delete+map' "$R/r/"[dD][eE][lL]* 2>/dev/null | wc -l):$(cat "$R/e/h-read-delete+map.bin")" = "1:data read-delete+map"
check "no stray del file in the delete-walked folder" test "$(ls "$R/e" | grep -ci '^del')" = 0
summary
