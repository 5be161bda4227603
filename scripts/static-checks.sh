#!/usr/bin/env bash
# The formatter's check on every tracked C++ file, then clang-tidy over the
# product's sources: those in the native build's compile database (the
# emulation included, the tests not), and the real Win32 calls from the
# windows build's, parsed for the i686 mingw target. Both builds must be
# configured first. Fails when any file breaks either.
set -euo pipefail
cd "$(dirname "$0")/.."

git ls-files -z '*.cpp' '*.h' '*.inc' | xargs -0 clang-format --dry-run -Werror
echo "static checks: clang-format clean ($(git ls-files '*.cpp' '*.h' '*.inc' | wc -l) files)"

sources=$(python3 -c '
import json, sys
seen = sorted({e["file"] for e in json.load(open("build/native/compile_commands.json"))})
print("\n".join(f for f in seen if "/tests/" not in f))')
printf '%s\n' "$sources" | xargs -P 2 -n 4 clang-tidy --quiet -p build/native 2>/dev/null

# The mingw C++ headers, which clang does not find by itself.
mingw=(--extra-arg=--target=i686-w64-mingw32)
for dir in $(echo | i686-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
             sed -n '/<...> search starts here/,/End of search/p' | grep '^ /.*c++'); do
    mingw+=("--extra-arg=-isystem$dir")
done
clang-tidy --quiet -p build/windows "${mingw[@]}" fileops/platform_win32.cpp 2>/dev/null
echo "static checks: clang-tidy clean ($(($(printf '%s\n' "$sources" | wc -l) + 1)) files)"
