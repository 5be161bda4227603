#!/usr/bin/env bash
# The program's main job, shown: builds it, lays out a sample installation of
# the plugin in a fresh profile, and runs the uninstaller on it, first in
# update mode (nothing changes), then for real. The native build runs with a
# temporary HOME; the 32-bit Windows product in a fresh Wine prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8
scripts/setup.sh >/dev/null

tree() {  # the profile, one entry a line, with sizes and modes
    (cd "$1" && find . -mindepth 1 \( -path './AppData/Local/Microsoft' -o -path './AppData/Roaming/Microsoft' \) -prune -o -printf '%M %6s  %p\n' | sort -k3)
}

show() {  # show TITLE PROFILE UNINSTALL-COMMAND...
    local title=$1 profile=$2; shift 2
    echo "== $title: profile before"
    tree "$profile"
    echo "== $title: uninstall --mode=update"
    set +e; "$@" --mode=update; local rc=$?; set -e
    echo "exit status $rc; $(diff <(echo "$before") <(tree "$profile") >/dev/null && echo 'profile unchanged' || echo 'PROFILE CHANGED')"
    echo "== $title: uninstall"
    set +e; "$@"; rc=$?; set -e
    echo "exit status $rc"
    echo "== $title: profile after"
    tree "$profile"
    echo "== $title: what changed"
    diff <(echo "$before") <(tree "$profile") || true
}

cmake --preset native >/dev/null && cmake --build --preset native >/dev/null
work=$(mktemp -d) home=$work/home
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
mkdir -p "$home/AppData/Roaming" "$home/AppData/Local"
# The emulation keeps the session's public fonts in this file.
export VXEMU_FONT_TABLE=$work/fonttable
HOME=$home build/native/make_sample_profile
echo "public fonts in the font table: $(grep -c . "$VXEMU_FONT_TABLE" || true)"
before=$(tree "$home")
HOME=$home show native "$home" build/native/uninstall
echo "public fonts left in the font table: $(grep -c . "$VXEMU_FONT_TABLE" || true)"

cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
# The 32-bit product: under Wine's classic 32-bit loader where the kernel runs
# 32-bit programs, else in WoW64 mode, as on 64-bit Windows.
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then mode=classic; else mode=wow64; fi
export VX_WINE_MODE=$mode WINEPREFIX=$work/wineprefix WINEDEBUG=-all
wine=cmake/wine-run.sh
"$wine" wineboot -i >/dev/null 2>&1; wineserver -w
profile="$WINEPREFIX/drive_c/users/$(id -un)"
"$wine" build/windows/make_sample_profile.exe /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
before=$(tree "$profile")
show "windows: the 32-bit uninstall.exe under Wine in $mode mode" "$profile" "$wine" build/windows/uninstall.exe
wineserver -k
