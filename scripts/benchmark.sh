#!/usr/bin/env bash
# Speed of the native uninstaller against the file system's own delete rate:
# for N font files in the roaming "r" folder and N other files in its "e"
# folder, the median wall time of `uninstall` and of
# `find -maxdepth 1 -type f -delete` on an identical tree, their ratio, the
# uninstaller's peak resident memory and its system calls per file. Then the
# 32-bit product under Wine, in each mode the machine runs, against the
# design's floor and `cmd /c del`, for both folders together and
# for each alone (N up to 10,000).
# VX_BENCH_BEFORE names a folder holding another build's uninstall and
# uninstall.exe (an earlier commit's, say): both then run side by side,
# alternating, and the tables give their ratio.
# Usage: scripts/benchmark.sh [N ...]   (default 1000 10000 100000)
set -euo pipefail
cd "$(dirname "$0")/.."
export LANG=C.UTF-8
sizes=("$@")
[ "${#sizes[@]}" -gt 0 ] || sizes=(1000 10000 100000)
runs=${VX_BENCH_RUNS:-5}
scripts/setup.sh >/dev/null  # time, strace, bc
cmake --preset native >/dev/null && cmake --build --preset native >/dev/null
exe=$PWD/build/native/uninstall
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

layout() {  # layout HOME N
    local plugin=$1/AppData/Roaming/Orvane/Brimlet/plugins/vexaline
    rm -rf "$1"
    mkdir -p "$plugin/r" "$plugin/e" "$1/AppData/Local"
    (cd "$plugin/r" && seq -f 'font%06g.otf' "$2" | xargs touch)
    (cd "$plugin/e" && seq -f 'data%06g.bin' "$2" | xargs touch)
}

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
now() { date +%s.%N; }

before=${VX_BENCH_BEFORE:-}
# The other build's median on the same trees, and this one's ratio to it.
against() { [ -z "$before" ] || printf ' %12.4f %9.3f' "$1" "$(echo "$2 / $1" | bc -l)"; }
printf '%8s %12s %12s %7s %10s %14s' N uninstall_s find_s ratio peak_KiB syscalls/file
[ -z "$before" ] && echo || printf ' %12s %9s\n' before_s vs_before
for n in "${sizes[@]}"; do
    u=() f=() b=()
    for ((i = 0; i < runs; i++)); do
        layout "$work/home" "$n"
        t0=$(now); HOME=$work/home "$exe"; t1=$(now)
        u+=("$(echo "$t1 - $t0" | bc)")
        if [ -n "$before" ]; then
            layout "$work/home" "$n"
            t0=$(now); HOME=$work/home "$before/uninstall"; t1=$(now)
            b+=("$(echo "$t1 - $t0" | bc)")
        fi
        layout "$work/home" "$n"
        plugin=$work/home/AppData/Roaming/Orvane/Brimlet/plugins/vexaline
        t0=$(now); find "$plugin/r" "$plugin/e" -maxdepth 1 -type f -delete; t1=$(now)
        f+=("$(echo "$t1 - $t0" | bc)")
    done
    um=$(printf '%s\n' "${u[@]}" | median) fm=$(printf '%s\n' "${f[@]}" | median)
    layout "$work/home" "$n"
    peak=$( { HOME=$work/home /usr/bin/time -f '%M' "$exe"; } 2>&1 | tail -n 1)
    layout "$work/home" "$n"
    calls=$(HOME=$work/home strace -f -c -o "$work/strace" "$exe" && awk '/total/ {print $4}' "$work/strace")
    printf '%8d %12.4f %12.4f %7.2f %10d %14.2f' "$n" "$um" "$fm" "$(echo "$um / $fm" | bc -l)" \
        "$peak" "$(echo "$calls / (2 * $n)" | bc -l)"
    [ -z "$before" ] || against "$(printf '%s\n' "${b[@]}" | median)" "$um"
    echo
done

# The 32-bit product under Wine, in every mode the machine runs, against the
# design's floor (bench_floor: exactly the calls the design makes per file)
# and against cmd's own delete, on identical trees, runs alternating.
cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
modes=$(cat build/windows/wine-legs) build=build/windows
if [ -z "$modes" ]; then  # no 32-bit leg here: the x86-64 test build, labelled
    cmake --preset win64 >/dev/null && cmake --build --preset win64 >/dev/null
    modes=$(cat build/win64/wine-legs) build=build/win64
fi
wine=$PWD/cmake/wine-run.sh
user=$(id -un)
win_plugin='C:\users\'"$user"'\AppData\Roaming\Orvane\Brimlet\plugins\vexaline'
# Fills the named plugin folders ("r", "e" or both) with N files each.
fill() {
    local n=$1 folder; shift
    for folder in "$@"; do
        mkdir -p "$plugin/$folder"
        if [ "$folder" = r ]; then (cd "$plugin/r" && seq -f 'font%06g.otf' "$n" | xargs touch)
        else (cd "$plugin/e" && seq -f 'data%06g.bin' "$n" | xargs touch); fi
    done
}
timed() { local t0 t1; t0=$(now); "$@" >/dev/null 2>&1; t1=$(now); echo "$t1 - $t0" | bc; }
for mode in $modes; do
    export VX_WINE_MODE=$mode WINEPREFIX=$work/prefix-$mode WINEDEBUG=-all
    "$wine" wineboot -i >/dev/null 2>&1; wineserver -w; wineserver -p
    profile=$WINEPREFIX/drive_c/users/$user
    plugin=$profile/AppData/Roaming/Orvane/Brimlet/plugins/vexaline
    what="32-bit uninstall.exe"; [ "$mode" != win64 ] || what="x86-64 test build (not the product)"
    echo "$what under Wine in $mode mode: against the design's floor and cmd /c del"
    echo "(r: font files, each given an attribute query and a font-table call; e: other files)"
    printf '%8s %-8s %12s %12s %12s %9s %9s' N folders uninstall_s floor_s del_s vs_floor vs_del
    [ -z "$before" ] && echo || printf ' %12s %9s\n' before_s vs_before
    for n in "${sizes[@]}"; do
        [ "$n" -le 10000 ] || continue  # Wine's cmd is slow past that
        for folders in "r e" "r" "e"; do
            u=() f=() d=() b=() floor_args=() del=()
            for folder in $folders; do
                if [ "$folder" = r ]; then floor_args+=("font:$win_plugin\\r") del+=("$win_plugin\\r\\*.otf")
                else floor_args+=("delete:$win_plugin\\e") del+=("$win_plugin\\e\\*"); fi
            done
            for ((i = 0; i < runs; i++)); do
                rm -rf "$profile/AppData/Roaming/Orvane"; fill "$n" $folders
                u+=("$(timed "$wine" "$build/uninstall.exe")")
                if [ -n "$before" ]; then
                    fill "$n" $folders
                    b+=("$(timed "$wine" "$before/uninstall.exe")")
                fi
                fill "$n" $folders
                f+=("$(timed "$wine" "$build/tests/bench_floor.exe" "${floor_args[@]}")")
                fill "$n" $folders
                d+=("$(timed "$wine" cmd /c del /q "${del[@]}")")
            done
            um=$(printf '%s\n' "${u[@]}" | median) fm=$(printf '%s\n' "${f[@]}" | median)
            dm=$(printf '%s\n' "${d[@]}" | median)
            printf '%8d %-8s %12.4f %12.4f %12.4f %9.3f %9.3f' "$n" "${folders// /+}" "$um" "$fm" "$dm" \
                "$(echo "$um / $fm" | bc -l)" "$(echo "$um / $dm" | bc -l)"
            [ -z "$before" ] || against "$(printf '%s\n' "${b[@]}" | median)" "$um"
            echo
        done
    done
    # The fixed cost: update mode on an empty profile against a program that
    # does nothing.
    rm -rf "$profile/AppData/Roaming/Orvane"
    u=() f=()
    for ((i = 0; i < 2 * runs + 1; i++)); do
        u+=("$(timed "$wine" "$build/uninstall.exe" --mode=update)")
        f+=("$(timed "$wine" "$build/tests/bench_trivial.exe")")
    done
    um=$(printf '%s\n' "${u[@]}" | median) fm=$(printf '%s\n' "${f[@]}" | median)
    printf 'fixed cost: uninstall --mode=update %.4f s, trivial program %.4f s, ratio %.2f\n' "$um" "$fm" \
        "$(echo "$um / $fm" | bc -l)"
    # Real fonts of families of their own, registered publicly, then a run.
    if [ "$mode" = wow64 ]; then
        for n in 100 1000; do
            rm -rf "$profile/AppData/Roaming/Orvane"; mkdir -p "$plugin/r"
            "$wine" "$build/make_sample_profile.exe" --fonts "$n" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf >/dev/null 2>&1
            registered=$(timed "$wine" "$build/uninstall.exe")
            left=$(find "$plugin/r" -type f | wc -l)
            fill "$n" r
            plain=$(timed "$wine" "$build/uninstall.exe")
            printf 'registered fonts: %d in r, run %.3f s against %.3f s for as many plain files: %.2f ms more a font; %d files left\n' \
                "$n" "$registered" "$plain" "$(echo "($registered - $plain) * 1000 / $n" | bc -l)" "$left"
        done
    fi
    wineserver -k
done
