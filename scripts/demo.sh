#!/usr/bin/env bash
# The program's main job, shown: builds it, lays out a sample installation of
# the plugin in a fresh profile, and runs the uninstaller on it, first in
# update mode (nothing changes), then for real. The native build runs with a
# temporary HOME; the Windows build in a fresh Wine prefix, where Wine can run.
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
home=$(mktemp -d)
trap 'chmod -R u+w "$home"; rm -rf "$home"' EXIT
mkdir -p "$home/AppData/Roaming" "$home/AppData/Local"
HOME=$home VXEMU_FONT_TABLE=$home/.fonttable build/native/make_sample_profile
before=$(tree "$home")
HOME=$home VXEMU_FONT_TABLE=$home/.fonttable show native "$home" build/native/uninstall
echo "public fonts left in the font table: $(grep -c . "$home/.fonttable" || true)"

cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0xf7000000}
export WINEPREFIX=$home/wineprefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if reason=$(scripts/wine-works.sh build/windows/uninstall.exe --mode=update); then
    profile="$WINEPREFIX/drive_c/users/$(id -un)"
    wine build/windows/make_sample_profile.exe /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf
    before=$(tree "$profile")
    show windows "$profile" wine build/windows/uninstall.exe
    wineserver -k
else
    echo "== windows: not shown: $reason"
fi
