#!/usr/bin/env bash
# The program's main job, shown: builds it, lays out a sample installation of
# the plugin in a fresh profile (fonts registered as public fonts, a
# read-only font, temporary and other files, subfolders, files outside the
# plugin's folders), and runs the uninstaller on it, first in update mode
# (nothing may change), then for real. For each file it tells what became of
# it and the rule that decided it. The native build runs with a temporary
# HOME; the 32-bit Windows product in a fresh Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8
scripts/setup.sh >/dev/null

listing() {  # every file of the profile: mode and digest, then its path
    (cd "$1" && find . -type f -not -path './AppData/*/Microsoft/*' -printf '%P\n' | sort | while IFS= read -r p; do
        printf '%s:%s\t%s\n' "$(stat -c %A "$p")" "$(md5sum < "$p" | cut -c1-12)" "$p"
    done)
}

show() {  # show TITLE PROFILE FONTS-BEFORE FONT-COUNT-COMMAND BROADCASTS-COMMAND UNINSTALL-COMMAND...
    local title=$1 profile=$2 fonts_before=$3 count=$4 broadcasts=$5; shift 5
    listing "$profile" > "$work/before"
    echo "== $title"
    set +e; "$@" --mode=update; local rc=$?; set -e
    listing "$profile" > "$work/update"
    echo "  uninstall --mode=update: exit $rc, $(cmp -s "$work/before" "$work/update" && echo 'nothing changed' || echo 'SOMETHING CHANGED')"
    set +e; "$@" "--log=$log_win"; rc=$?; set -e
    echo "  uninstall --log=$log_win: exit $rc; what became of each file:"
    listing "$profile" > "$work/after"
    python3 scripts/demo_report.py "$work/before" "$work/after"
    echo "  fonts of the sample in the font table: $fonts_before before, $(eval "$count") after; font-change broadcasts: $(eval "$broadcasts")"
    echo "  the log's first lines and its last:"
    tr -d '\r' < "$log_host" | sed '1s/^\xEF\xBB\xBF//' | head -n 12 | sed 's/^/    /'
    echo "    ..."
    tr -d '\r' < "$log_host" | tail -n 1 | sed 's/^/    /'
}

cmake --preset native >/dev/null && cmake --build --preset native >/dev/null
work=$(mktemp -d) home=$work/home
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$home/AppData/Roaming" "$home/AppData/Local"
# The emulation keeps the session's public fonts and the broadcasts in files.
export VXEMU_FONT_TABLE=$work/fonttable VXEMU_BROADCAST_LOG=$work/broadcasts
HOME=$home build/native/make_sample_profile
fonts=$(grep -c . "$VXEMU_FONT_TABLE" || true); : > "$VXEMU_BROADCAST_LOG"
log_host=$work/uninstall.log log_win="C:${work//\//\\}\\uninstall.log"
HOME=$home show "native build, emulated Windows" "$home" "$fonts" \
    'grep -c . "$VXEMU_FONT_TABLE" || true' \
    'echo "$(grep -c . "$VXEMU_BROADCAST_LOG" || true) (one per font folder that lost a font)"' build/native/uninstall

cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
# The 32-bit product: under Wine's classic 32-bit loader where it runs, else
# in WoW64 mode, as on 64-bit Windows; where neither runs, the x86-64 test
# build of the same sources stands in, and says so.
build=build/windows what="32-bit uninstall.exe"
case " $(cat build/windows/wine-legs) " in
    *" classic "*) mode=classic ;;
    *" wow64 "*) mode=wow64 ;;
    *) cmake --preset win64 >/dev/null && cmake --build --preset win64 >/dev/null
       mode=win64 build=build/win64 what="x86-64 test build (NOT the 32-bit product, which runs nowhere here)"
       echo
       echo "== the 32-bit uninstall.exe is built but cannot run here: no 32-bit Wine leg" ;;
esac
export VX_WINE_MODE=$mode WINEPREFIX=$work/wineprefix WINEDEBUG=-all
wine=cmake/wine-run.sh
"$wine" wineboot -i >/dev/null 2>&1; wineserver -w
profile="$WINEPREFIX/drive_c/users/$(id -un)"
log_host=$WINEPREFIX/drive_c/uninstall.log log_win='C:\uninstall.log'
"$wine" $build/make_sample_profile.exe /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
fonts=$("$wine" $build/make_sample_profile.exe --count-registered | tr -d '\r')
# Under Wine a count after the run says nothing: every new process gets the
# session's public fonts again from Wine's cache. A session without a display
# shows no broadcast.
show "$what under Wine in $mode mode" "$profile" "$fonts" \
    'echo "not countable (Wine hands every new process the public fonts again from its cache)"' \
    'echo "not visible under Wine without a display"' "$wine" $build/uninstall.exe
wineserver -k
