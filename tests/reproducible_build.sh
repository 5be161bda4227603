#!/usr/bin/env bash
# Two clean builds of the product, from copies of the sources in two folders
# of different depth and a few seconds apart, give the same bytes as each
# other and as the exe the tests ran.
# Usage: reproducible_build.sh SOURCE-DIR UNINSTALL.exe
set -euo pipefail
src=$1 tested=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build() {  # build FOLDER: a copy of the tracked and new files, built as the windows preset
    mkdir -p "$1"
    (cd "$src" && git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - 2>/dev/null) |
        tar -xf - -C "$1"
    (cd "$1" && cmake --preset windows -DBUILD_TESTING=OFF >/dev/null &&
        cmake --build --preset windows --target uninstall >/dev/null)
    sha256sum < "$1/build/windows/uninstall.exe" | cut -d' ' -f1
}
first=$(build "$work/a")
sleep 2
second=$(build "$work/another/folder/deeper")
tested_sum=$(sha256sum < "$tested" | cut -d' ' -f1)
echo "first clean build   $first"
echo "second clean build  $second"
echo "exe under test      $tested_sum"
[ "$first" = "$second" ] && [ "$first" = "$tested_sum" ]
