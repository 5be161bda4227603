#!/usr/bin/env bash
# The product as a Windows administrator receives it: a 32-bit console
# program that imports system DLLs only, with its manifest and version.
set -euo pipefail
exe=$1 manifest=$2
fail() { echo "check_exe: $*" >&2; exit 1; }

file "$exe" | grep -q 'PE32 executable (console) Intel 80386' || fail "not a PE32 console exe: $(file "$exe")"

system_dlls='^(kernel32|user32|gdi32|shell32|shlwapi|ole32|oleaut32|advapi32|msvcrt|ntdll)\.dll$'
while read -r dll; do
    echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system_dlls" || fail "imports a non-system DLL: $dll"
done < <(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')

# Wine does not read the manifest, so check it here: well-formed, asInvoker,
# and the very bytes embedded in the exe.
xmllint --noout "$manifest" || fail "manifest is not well-formed"
grep -q 'requestedExecutionLevel level="asInvoker"' "$manifest" || fail "manifest lacks asInvoker"
grep -aq 'requestedExecutionLevel level="asInvoker"' "$exe" || fail "manifest not embedded"

# Version strings are UTF-16LE in the resource.
wide=$(i686-w64-mingw32-strings -el "$exe")
for s in "ProductName" "FileDescription" "FileVersion" "Vexaline font plugin uninstaller"; do
    grep -qF "$s" <<<"$wide" || fail "version resource lacks $s"
done
echo "check_exe: $(basename "$exe") is a PE32 console exe, system DLLs only, asInvoker manifest and version resource present"
