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

# Debian's clang-tidy ships run-clang-tidy, which runs it over a compile
# database in parallel and fails when any file does; its words are shown only
# then. The tests' sources are left out.
tidy() {  # tidy BUILD-DIR FILE-REGEX [EXTRA-ARG...]
    local out status
    out=$(run-clang-tidy -quiet -j 2 -p "$1" "${@:3}" "$2" 2>/dev/null); status=$?
    [ "$status" -eq 0 ] || { echo "$out" | grep -v '^clang-tidy\|^ *$'; exit 1; }
    echo "$out" | grep -c '^clang-tidy' || true
}
native=$(tidy build/native '^(?!.*/tests/).*\.cpp$')

# The real Win32 calls from the windows build's database, parsed for the
# i686 mingw target with the mingw C++ headers, which clang does not find by
# itself.
mingw=(-extra-arg=--target=i686-w64-mingw32)
for dir in $(echo | i686-w64-mingw32-g++-posix -E -x c++ - -v 2>&1 |
             sed -n '/<...> search starts here/,/End of search/p' | grep '^ /.*c++'); do
    mingw+=("-extra-arg=-isystem$dir")
done
windows=$(tidy build/windows 'fileops/platform_win32\.cpp$' "${mingw[@]}")
echo "static checks: clang-tidy clean ($((native + windows)) files)"
