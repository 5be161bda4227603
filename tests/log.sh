#!/usr/bin/env bash
# The diagnostic log (--log=PATH) against the disk: every file the run meets
# is told of once, with the fate it met; update mode with a log changes
# nothing and foretells the full run; a log that cannot be opened changes
# nothing else; a log inside a plugin folder is kept.
# Usage: log.sh native UNINSTALL MAKE_SAMPLE_PROFILE
#        log.sh windows UNINSTALL.exe MAKE_SAMPLE_PROFILE.exe WINE-RUN
set -uo pipefail
mode=$1 uninstall=$2 sample=$3
work=$(mktemp -d) wine=${4:-}
# shellcheck source=tests/e2e_common.sh
. "$(dirname "$0")/e2e_common.sh"

# The emulation's font table outlives each process (the sample's fonts are
# still there for the run); Wine keeps its own.
export VXEMU_FONT_TABLE=$work/fonts
# C: is the host's root natively, and drive_c under Wine.
if native; then drive="" logs=$work/logs; else drive=$WINEPREFIX/drive_c logs=$WINEPREFIX/drive_c/vxlogs; fi
win() { local p=${1#"$drive"}; echo "C:${p//\//\\}"; }    # host path -> Windows path
host() { local p=${1#C:}; echo "$drive${p//\\//}"; }      # and back
mkdir -p "$logs" "$HOME/AppData/Roaming" "$HOME/AppData/Local"
R=$HOME/AppData/Roaming/Orvane/Brimlet/plugins/vexaline
L=$HOME/AppData/Local/Orvane/Pellmire/Brimlet/plugins/vexaline
cloud=$HOME/Lanterra\ Files/.sync_plugin_data/vexaline
lines() { tr -d '\r' < "$1"; }  # a log's lines, without Windows' line ends
# "file PATH: FATE" lines, PATH and FATE split by a tab.
# (A path holds no ": ", a fate may.)
fates() { lines "$1" | awk '/^file / { s = substr($0, 6); i = index(s, ": "); print substr(s, 1, i - 1) "\t" substr(s, i + 2) }'; }

"${runner[@]}" "$sample" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf </dev/null >/dev/null
rm -r "$L/c"  # a folder the run cannot walk
# The files of the folders a run walks, as the log names them.
walked=$(for d in "$R" "$R"/[rec] "$L" "$L"/[re] "$cloud"; do find "$d" -maxdepth 1 -type f; done |
         while read -r f; do win "$f"; done | LC_ALL=C sort)
before=$(snapshot "$HOME")
run --mode=update "--log=$(win "$logs/update.log")"
check "update mode with a log: exits 0 silently, reaches its end, changes nothing" \
    test "$status:$output:$(lines "$logs/update.log" | tail -1 | grep -c 'exit status 0$'):$(snapshot "$HOME")" = "0::1:$before"
run "--log=$(win "$logs/full.log")"
check "full run with a log: exits 0 silently" test "$status:$output" = "0:"
check "a new log starts with the UTF-8 byte-order mark" test "$(head -c3 "$logs/full.log" | od -An -tx1 | tr -d ' ')" = efbbbf
check "each file is told of once" test -z "$(fates "$logs/full.log" | cut -f1 | sort | uniq -d)"
check "every file of a walked folder is told of" \
    test -z "$(LC_ALL=C comm -23 <(echo "$walked") <(fates "$logs/full.log" | cut -f1 | LC_ALL=C sort))"
# The header names the cloud-files folder; the summary counts what the lines tell.
told() { fates "$logs/full.log" | cut -f2 | grep -c "^$1"; }
check "the header and the summary agree with the lines" test \
    "$(lines "$logs/full.log" | grep '^cloud-files plugin folder: \|^summary: ' | sed 's/;.*//')" = \
    "cloud-files plugin folder: $(win "$cloud")
summary: $(told removed) removed, $(told moved) moved aside, $(told left) left, $(lines "$logs/full.log" |
    grep -c '^folder .*: not walked') folders not walked"
# One broadcast for each font folder in which the font table let go of a font.
check "the summary's broadcasts are one for each font folder with a font let go" test \
    "$(lines "$logs/full.log" | sed -n 's/^summary: .*; \([0-9]*\) font-change broadcasts;.*/\1/p')" = \
    "$(lines "$logs/full.log" | sed -n 's/^font \(.*\)\\[^\\]*: the font table let go of it$/\1/p' |
       sort -u | grep -c .)"
# Whose profile, and with what token: Wine gives every process an elevated one.
if native; then token="not elevated"; else token="elevated"; fi
check "the header names the account and its token" \
    test "$(lines "$logs/full.log" | grep -c "^account [^ ,][^,]*, token $token\$")" = 1
mismatches=0
while IFS=$'\t' read -r path fate; do
    p=$(host "$path")
    case $fate in
        removed) [ ! -e "$p" ] ;;
        "moved aside as del"?*.TMP) [ ! -e "$p" ] && [ -f "$(dirname "$p")/${fate#moved aside as }" ] ;;
        left*) [ -e "$p" ] ;;
        *) false ;;
    esac || { echo "  disk disagrees: $path: $fate"; mismatches=$((mismatches + 1)); }
    case $path in *'\Orvane\'*'\plugins\vexaline\'*|*'\Lanterra Files\.sync_plugin_data\vexaline\'*) ;;
        *) echo "  outside the plugin's folders: $path"; mismatches=$((mismatches + 1)) ;; esac
done < <(fates "$logs/full.log")
check "every fate the log tells is what the disk shows, all inside the plugin's folders" test "$mismatches" -eq 0
# What update mode foretold is what the full run did, file by file.
category() {
    sed 's/\t\(would be \)\{0,1\}removed.*/\tremoved/; s/\t\(would be \)\{0,1\}moved aside.*/\tmoved/
         s/\t\(would be \)\{0,1\}left.*/\tleft/' | LC_ALL=C sort -t $'\t' -k1,1
}
foretold=$(fates "$logs/update.log" | category)
did=$(fates "$logs/full.log" | category | LC_ALL=C join -t $'\t' - <(cut -f1 <<<"$foretold"))
check "update mode's log foretells the full run ($(grep -c . <<<"$foretold") files)" \
    test -n "$foretold" -a "$foretold" = "$did"
check "the log ends with its summary and exit status" \
    test "$(lines "$logs/full.log" | tail -1 | sed -n 's/.*exit status \([0-9]*\)$/\1/p')" = 0

# The same file again: appended after a separator line, never truncated.
size=$(stat -c %s "$logs/full.log")
cp "$logs/full.log" "$logs/first.log"
run "--log=$(win "$logs/full.log")"
check "a second run appends after a separator" \
    test "$(head -c "$size" "$logs/full.log" | md5sum):$(lines "$logs/full.log" | grep -c '^=====')" = "$(md5sum < "$logs/first.log"):1"

# A log that cannot be opened: the run is the run without it, and nothing
# is written anywhere. Each run has one file to delete in "e".
mkdir -p "$logs/folder.log"; echo ro > "$logs/ro.log"; chmod a-w "$logs/ro.log"
long=$(win "$logs")\\$(printf 'n%.0s' $(seq 1 250)).log
for bad in "$(win "$logs/missing/x.log")" "$(win "$logs/folder.log")" "$(win "$logs/ro.log")" \
           NUL CON "$(win "$logs")\\NUL" "$(win "$logs")\\con.txt" "$long" "" relative.log; do
    mkdir -p "$R/e"; echo x > "$R/e/victim"
    # The victim's going shows the run got as far as the cleanup.
    ls_before=$(snapshot | grep -v '/victim	')
    run "--log=$bad"
    check "unusable log '${bad:0:40}': the run as without it, nothing written" \
        test "$status:$output:$(ls "$R/e/victim" 2>&1 >/dev/null | grep -c .):$(cat "$logs/ro.log"):$(snapshot)" = "0::1:ro:$ls_before" ||
        { echo "  status $status, printed: ${output:0:600}"; diff <(echo "$ls_before") <(snapshot) | head; }
done

# A log inside a plugin folder is kept, however its path is spelt; the rest
# there goes as usual.
for spelling in 'e\run.log' 'e\dot.log.' 'e\.\x.log' 'r\..\e\x.log' 'e/x.log' 'e\\x.log'; do
    find "$R/e" -maxdepth 1 -type f -delete; echo x > "$R/e/other"
    run "--log=$(win "$R")\\$spelling"
    check "a log in a plugin folder ($spelling) is kept, and says so" \
        test "$status:$(ls "$R/e" | grep -v '^sub$' | grep -c .):$(cat "$R/e/"*.log | tr -d '\r' | grep -c ': left: the log itself')" = "0:1:1"
done
if native; then
    # A write that fails (a full disk) drops the rest of the log, not the run.
    echo x > "$R/e/other"
    run "--log=C:\\dev\\full"
    check "a log whose writes fail: the run goes on" test "$status:$output:$(ls "$R/e" | grep -v '^sub$')" = "0::"
fi
summary
