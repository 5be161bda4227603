#!/usr/bin/env bash
# Speed of the native uninstaller against the file system's own delete rate:
# for N font files in the roaming "r" folder and N other files in its "e"
# folder, the median wall time of `uninstall` and of
# `find -maxdepth 1 -type f -delete` on an identical tree, their ratio, the
# uninstaller's peak resident memory and its system calls per file.
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
