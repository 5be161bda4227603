#!/usr/bin/env bash
# Before every release: the windows build's own uninstall.exe, the 32-bit
# product's very bytes, run on a real Win32 implementation, on any x86-64
# Debian 12 machine. It runs in the best Wine leg the machine has: WoW64 or
# classic where the kernel runs 32-bit code; otherwise Wine's classic 32-bit
# loader under CPU emulation (qemu-i386), registered as the handler of i386
# programs only inside a private user and mount namespace, so that nothing
# outside that namespace changes.
#
# Each case (the demo's sample profile; the hostile rows that matter most for
# the handle calls: a file link out of "r", a read-only font, names that are
# not UTF-8 beside ".OTF" files) runs in update mode and then in full, each
# with a log, and is judged by every file's fate and by the normalised log
# against the native build on the same layout. Only the product is judged:
# a Wine helper that crashes, or wineboot that exits before the prefix is
# made, is waited out or tried again; a product run that does not reach its
# log's summary is a failure.
#
# Not in the test command: under CPU emulation it takes many minutes, and
# Wine's own processes are too fragile there to fail only for the product.
# Usage: scripts/release-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8
unset LC_ALL
src=$PWD
run=$src/cmake/wine-run.sh
stamp() { date +%s; }
took() { echo "$(($(stamp) - $1)) s"; }

# Every file of a profile: mode and digest, then its path (Wine's own
# folders aside).
listing() {
    (cd "$1" && find . \( -type f -o -type l \) -not -path './AppData/*/Microsoft/*' \
        -not -path './AppData/Local/Temp/*' -printf '%P\n' | LC_ALL=C sort |
        while IFS= read -r p; do
            if [ -L "$p" ]; then d="link:$(readlink "$p")"; else d=$(md5sum < "$p" | cut -c1-12); fi
            printf '%s:%s\t%s\n' "$(stat -c %A "$p")" "$d" "$p"
        done)
}

# The hostile rows, in PROFILE, with what they lead to in OUTSIDE.
hostile_layout() {
    local profile=$1 outside=$2
    local R=$profile/AppData/Roaming/Orvane/Brimlet/plugins/vexaline
    mkdir -p "$R/r" "$R/e" "$R/c" "$outside"
    echo secret > "$outside/target.otf"
    ln -s "$outside/target.otf" "$R/r/link-to-file.otf"
    echo ro > "$R/r/readonly-font.otf"; chmod a-w "$R/r/readonly-font.otf"
    local i
    for i in 1 2 3; do echo f > "$R/r/v"$'\xe9'"$i.otf"; echo keep > "$R/r/v"$'\xe8'"$i.OTF"; done
    echo font > "$R/r/plain.otf"; echo data > "$R/e/data.bin"; echo tmp > "$R/r/x.tmp"
}

# ---- inside: the Wine half, in the namespace when the CPU is emulated ----
if [ "${1:-}" = --inside ]; then
    work=$2 leg=$3 cache=$4
    if [ "$leg" = emulated ]; then
        mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
        # i386 ELF programs, executables and shared objects (the F flag opens
        # the interpreter now, so that it serves inside later mounts too).
        printf '%s\n' ':vx-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            > /proc/sys/fs/binfmt_misc/register
        export VX_WINE_MODE=classic
    else
        export VX_WINE_MODE=$leg
    fi
    export WINEDEBUG=-all
    template=$cache/prefix
    if ! [ -f "$template/system.reg" ] || ! [ -f "$template/drive_c/windows/system32/kernel32.dll" ]; then
        t=$(stamp)
        for try in 1 2 3; do
            rm -rf "$template"; mkdir -p "$cache"
            export WINEPREFIX=$template
            # wineboot may exit early ("could not load kernel32.dll", 53) while
            # the boot it started goes on: the server's end is what counts.
            timeout 3600 "$run" wineboot -i >/dev/null 2>&1 || echo "  wineboot -i exited $? (try $try): waiting for the prefix"
            timeout 3600 wineserver -w || true
            [ -f "$template/system.reg" ] && [ -f "$template/drive_c/windows/system32/kernel32.dll" ] && break
            echo "  no prefix after try $try"
        done
        [ -f "$template/system.reg" ] || { echo "FAIL: no Wine prefix could be made"; exit 1; }
        echo "  prefix made once, in $(took "$t") (kept for later checks)"
    else
        echo "  prefix: the one made before, copied for each case"
    fi
    user=$(id -un)
    for case in sample hostile; do
        dir=$work/wine/$case
        for try in 1 2 3; do
            t=$(stamp)
            rm -rf "$dir"; mkdir -p "$dir"
            cp -a "$template" "$dir/prefix"
            export WINEPREFIX=$dir/prefix
            # One persistent server for the case's runs.
            wineserver -p </dev/null >/dev/null 2>&1
            profile=$WINEPREFIX/drive_c/users/$user
            mkdir -p "$profile/AppData/Roaming" "$profile/AppData/Local"
            if [ "$case" = sample ]; then
                "$run" "$src/build/windows/make_sample_profile.exe" \
                    /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf </dev/null >"$dir/layout.out" 2>&1 || true
            else
                hostile_layout "$profile" "$WINEPREFIX/drive_c/outside"
            fi
            listing "$profile" > "$dir/before"
            [ "$case" = sample ] || listing "$WINEPREFIX/drive_c/outside" > "$dir/outside.before"
            tl=$(stamp)
            for mode in update full; do
                flag=(); [ "$mode" = full ] || flag=(--mode=update)
                set +e
                timeout 3600 "$run" "$src/build/windows/uninstall.exe" "${flag[@]}" "--log=C:\\$mode.log" \
                    </dev/null >"$dir/$mode.out" 2>&1
                echo $? > "$dir/$mode.status"
                set -e
                listing "$profile" > "$dir/after-$mode"
                cp "$WINEPREFIX/drive_c/$mode.log" "$dir/$mode.log" 2>/dev/null || : > "$dir/$mode.log"
            done
            [ "$case" = sample ] || listing "$WINEPREFIX/drive_c/outside" > "$dir/outside.after"
            wineserver -k 2>/dev/null || true
            if tail -n 1 "$dir/update.log" | grep -q 'exit status 0' &&
               tail -n 1 "$dir/full.log" | grep -q 'exit status 0'; then
                echo "  $case: laid out and run in $(took "$t") (the two runs $(took "$tl"))"
                break
            fi
            echo "  $case, try $try: a run did not reach its summary (Wine said: $(head -c 300 "$dir/full.out" | tr '\n' ' '))"
            [ "$try" -lt 3 ] || { echo "FAIL: $case: the product did not finish in three tries"; exit 1; }
        done
    done
    exit 0
fi

# ---- outside: builds, the leg, the native half, the verdict ----
t0=$(stamp)
scripts/setup.sh >/dev/null
cmake --preset native >/dev/null 2>&1 && cmake --build --preset native --target uninstall make_sample_profile >/dev/null
cmake --preset windows >/dev/null 2>&1 &&
    cmake --build --preset windows --target uninstall make_sample_profile >/dev/null
exe=build/windows/uninstall.exe
sum=$(sha256sum < "$exe" | cut -d' ' -f1)
t=$(stamp)
tests/reproducible_build.sh "$src" "$exe" >/dev/null ||
    { echo "FAIL: $exe is not what a clean build of these sources gives"; exit 1; }
echo "release check of $exe, SHA-256 $sum: the reproducible build's (two clean builds agree, $(took "$t"))"

legs=$(cat build/windows/wine-legs)
case " $legs " in
    *" wow64 "*) leg=wow64 how="WoW64 (64-bit Wine runs the 32-bit code, as 64-bit Windows does)" ;;
    *" classic "*) leg=classic how="classic (Wine's 32-bit loader)" ;;
    *)
        leg=emulated how="classic (Wine's 32-bit loader) under CPU emulation: this kernel runs no 32-bit code"
        dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q "install ok installed" ||
            DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends qemu-user-static >/dev/null
        [ -x /usr/lib/wine/wine ] && [ -x /usr/bin/qemu-i386-static ] ||
            { echo "FAIL: the emulated leg needs wine32:i386 and qemu-user-static"; exit 1; } ;;
esac
echo "leg: $how"

work=$(mktemp -d)
# VX_RELEASE_KEEP=1 keeps the layouts, listings and logs for a look afterwards.
[ -n "${VX_RELEASE_KEEP:-}" ] && echo "work folder kept: $work" ||
    trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
# The native build on the same layouts.
for case in sample hostile; do
    dir=$work/native/$case home=$work/native/$case/home
    mkdir -p "$home/AppData/Roaming" "$home/AppData/Local"
    export VXEMU_FONT_TABLE=$dir/fonttable
    if [ "$case" = sample ]; then HOME=$home build/native/make_sample_profile >/dev/null
    else hostile_layout "$home" "$dir/outside"; listing "$dir/outside" > "$dir/outside.before"; fi
    listing "$home" > "$dir/before"
    for mode in update full; do
        flag=(); [ "$mode" = full ] || flag=(--mode=update)
        HOME=$home build/native/uninstall "${flag[@]}" "--log=C:${dir//\//\\}\\$mode.log" || true
        listing "$home" > "$dir/after-$mode"
    done
    [ "$case" = sample ] || listing "$dir/outside" > "$dir/outside.after"
done
unset VXEMU_FONT_TABLE

t=$(stamp)
version=$(dpkg-query -W -f='${Version}' wine 2>/dev/null || echo unknown)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/vx-uninstall/release-$leg-$version"
if [ "$leg" = emulated ]; then
    unshare --user --map-root-user --mount "$src/scripts/release-check.sh" --inside "$work" "$leg" "$cache"
else
    "$src/scripts/release-check.sh" --inside "$work" "$leg" "$cache"
fi
echo "  Wine half: $(took "$t")"

failed=0
for case in sample hostile; do
    n=$work/native/$case w=$work/wine/$case
    echo "== $case"
    for mode in update full; do
        echo "  $mode: status $(cat "$w/$mode.status") under Wine"
        [ "$(cat "$w/$mode.status")" = 0 ] || failed=1
    done
    cmp -s "$w/before" "$w/after-update" || { echo "  update mode CHANGED the profile under Wine"; failed=1; }
    cmp -s "$n/before" "$n/after-update" || { echo "  update mode CHANGED the profile natively"; failed=1; }
    if [ "$case" = hostile ]; then
        cmp -s "$w/outside.before" "$w/outside.after" && cmp -s "$n/outside.before" "$n/outside.after" ||
            { echo "  something OUTSIDE the profile changed"; failed=1; }
    fi
    echo "  update mode: what a full run would do, as told by each log"
    python3 scripts/release_report.py "$case" "$n/before" "$n/after-update" "$n/update.log" \
        "$w/before" "$w/after-update" "$w/update.log" tests/release_known.tsv >/dev/null ||
        { python3 scripts/release_report.py "$case" "$n/before" "$n/after-update" "$n/update.log" \
              "$w/before" "$w/after-update" "$w/update.log" tests/release_known.tsv | grep -v '  same$' || true
          failed=1; }
    echo "  full run:"
    python3 scripts/release_report.py "$case" "$n/before" "$n/after-full" "$n/full.log" \
        "$w/before" "$w/after-full" "$w/full.log" tests/release_known.tsv || failed=1
done
echo "release check: exe SHA-256 $sum, leg $leg, all $(took "$t0")"
[ "$failed" = 0 ] || { echo "FAIL: the product under Wine differs from the native build"; exit 1; }
echo "PASS: the shipped bytes did on a real Win32 implementation what the native build does"
