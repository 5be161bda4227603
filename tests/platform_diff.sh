#!/usr/bin/env bash
# Runs the same generated cases through the emulation (the native build's
# platform_diff) and through Wine (the windows build's), and compares them
# line by line. A difference passes only when the table of known differences
# names its case: there the emulation follows Windows and Wine does not.
# Usage: platform_diff.sh NATIVE-PLATFORM_DIFF PLATFORM_DIFF.exe WINE-RUN KNOWN-TABLE
set -uo pipefail
native=$1 exe=$2 run=$3 known=$4
[ -x "$native" ] || { echo "no native build of platform_diff at $native: build the native preset first"; exit 1; }
: "${WINEPREFIX:?}"
work=$(mktemp -d) scratch="$WINEPREFIX/drive_c/vxdiff-$$"
trap 'chmod -R u+w "$work" "$scratch" 2>/dev/null; rm -rf "$work" "$scratch"' EXIT

layout() {  # layout HOST-FOLDER: three case folders a name, as platform_diff.cpp describes
    local i=0 name v stripped
    while IFS= read -r name; do
        for v in p s r; do mkdir -p "$1/c$i$v"; printf t > "$1/c$i$v/$name"; done
        stripped=$(sed 's/[. ]*$//' <<<"$name")
        { [ -n "$stripped" ] && [ "$stripped" != "$name" ]; } || stripped=sibling
        printf s > "$1/c${i}s/$stripped"
        chmod a-w "$1/c${i}r/$name"
        i=$((i + 1))
    done < <("$native" --names)
    ln -s "$1/c0p" "$1/link"
}

layout "$work/scratch"
"$native" "C:${work//\//\\}\\scratch" > "$work/emulation.txt"
native_status=$?
layout "$scratch"
"$run" "$exe" "C:\\vxdiff-$$" </dev/null 2>/dev/null > "$work/wine.raw"
wine_status=$?
tr -d '\r' < "$work/wine.raw" > "$work/wine.txt"
[ -z "${VX_DIFF_KEEP:-}" ] || cp "$work/emulation.txt" "$work/wine.txt" "$VX_DIFF_KEEP"

# Two runs that failed, or printed nothing, would agree on nothing.
[ "$native_status:$wine_status" = 0:0 ] ||
    { echo "FAIL: exit $native_status from the emulation, $wine_status under Wine"; exit 1; }
lines=$(wc -l < "$work/emulation.txt")
[ "$lines" -ge 2427 ] || { echo "FAIL: $lines cases from the emulation, 2427 expected at least"; exit 1; }
[ "$lines" -eq "$(wc -l < "$work/wine.txt")" ] ||
    { echo "FAIL: $lines lines from the emulation, $(wc -l < "$work/wine.txt") from Wine"; exit 1; }
# A differing pair passes only when a row names the emulation's whole line
# and Wine's (or "*" for an answer Wine varies from run to run).
paste "$work/emulation.txt" "$work/wine.txt" | awk -F'\t' -v known="$known" '
    BEGIN { while ((getline l < known) > 0) if (l !~ /^#/ && l != "") { split(l, f, "\t"); emu[++n] = f[1]; wine[n] = f[2] } }
    $1 == $2 { next }
    { for (i = 1; i <= n; i++) if ($1 == emu[i] && (wine[i] == "*" || $2 == wine[i])) { k++; next }
      u++; if (u <= (ENVIRON["VX_DIFF_SHOW"] ? ENVIRON["VX_DIFF_SHOW"] : 60)) printf "emulation: %s\nwine:      %s\n", $1, $2 }
    END { printf "%d cases: %d known differences between Wine and Windows, %d unexplained\n", NR, k, u
          exit u > 0 }'
