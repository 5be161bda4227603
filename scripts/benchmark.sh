#!/usr/bin/env bash
# Speed of the native uninstaller against the file system's own delete rate:
# for N font files in the roaming "r" folder and N other files in its "e"
# folder, the median wall time of `uninstall` and of
# `find -maxdepth 1 -type f -delete` on an identical tree, their ratio, the
# uninstaller's peak resident memory and its system calls per file. Then the
# Windows build under Wine against `cmd /c del`, for both folders together and
# for each alone (N up to 10,000).
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

printf '%8s %12s %12s %7s %10s %14s\n' N uninstall_s find_s ratio peak_KiB syscalls/file
for n in "${sizes[@]}"; do
    u=() f=()
    for ((i = 0; i < runs; i++)); do
        layout "$work/home" "$n"
        t0=$(now); HOME=$work/home "$exe"; t1=$(now)
        u+=("$(echo "$t1 - $t0" | bc)")
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
    printf '%8d %12.4f %12.4f %7.2f %10d %14.2f\n' "$n" "$um" "$fm" "$(echo "$um / $fm" | bc -l)" \
        "$peak" "$(echo "$calls / (2 * $n)" | bc -l)"
done

# The 32-bit product under Wine in WoW64 mode (as on 64-bit Windows, where
# most users run it) against cmd's own delete on the same folders.
cmake --preset windows >/dev/null && cmake --build --preset windows >/dev/null
export VX_WINE_MODE=wow64 WINEPREFIX=$work/prefix WINEDEBUG=-all
wine=$PWD/cmake/wine-run.sh build=build/windows
"$wine" wineboot -i >/dev/null 2>&1; wineserver -w; wineserver -p
profile=$WINEPREFIX/drive_c/users/$(id -un)
win_plugin='C:\users\'"$(id -un)"'\AppData\Roaming\Orvane\Brimlet\plugins\vexaline'
plugin=$profile/AppData/Roaming/Orvane/Brimlet/plugins/vexaline
# Fills the named plugin folders ("r", "e" or both) with N files each.
fill() {
    local n=$1 folder; shift
    for folder in "$@"; do
        mkdir -p "$plugin/$folder"
        if [ "$folder" = r ]; then (cd "$plugin/r" && seq -f 'font%06g.otf' "$n" | xargs touch)
        else (cd "$plugin/e" && seq -f 'data%06g.bin' "$n" | xargs touch); fi
    done
}
# What cmd deletes of the same folders: the fonts of "r", everything in "e".
del_args() {
    local folder
    for folder in "$@"; do
        if [ "$folder" = r ]; then printf '%s\n' "$win_plugin\\r\\*.otf"; else printf '%s\n' "$win_plugin\\e\\*"; fi
    done
}
echo "32-bit windows build under Wine in $VX_WINE_MODE mode, against cmd /c del"
echo "(r: font files, each also given an attribute query and a font-table call; e: other files)"
printf '%8s %-8s %12s %12s %7s\n' N folders uninstall_s del_s ratio
for n in "${sizes[@]}"; do
    [ "$n" -le 10000 ] || continue  # Wine's cmd is slow past that
    for folders in "r e" "r" "e"; do
        u=() f=()
        mapfile -t del < <(del_args $folders)
        for ((i = 0; i < runs; i++)); do
            rm -rf "$profile/AppData/Roaming/Orvane"
            fill "$n" $folders
            t0=$(now); "$wine" "$build/uninstall.exe"; t1=$(now)
            u+=("$(echo "$t1 - $t0" | bc)")
            fill "$n" $folders
            t0=$(now); "$wine" cmd /c del /q "${del[@]}" >/dev/null 2>&1; t1=$(now)
            f+=("$(echo "$t1 - $t0" | bc)")
        done
        um=$(printf '%s\n' "${u[@]}" | median) fm=$(printf '%s\n' "${f[@]}" | median)
        printf '%8d %-8s %12.4f %12.4f %7.2f\n' "$n" "${folders// /+}" "$um" "$fm" "$(echo "$um / $fm" | bc -l)"
    done
done
wineserver -k
