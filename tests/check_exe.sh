#!/usr/bin/env bash
# The product as a Windows administrator receives it: a 32-bit console
# program that imports system DLLs only, with its manifest and version, its
# hardening asked for, and a copy with symbols beside it.
# Usage: check_exe.sh UNINSTALL.exe MANIFEST VERSION (a.b.c.d)
set -euo pipefail
exe=$1 manifest=$2 version=$3
fail() { echo "check_exe: $*" >&2; exit 1; }

file "$exe" | grep -q 'PE32 executable (console) Intel 80386' || fail "not a PE32 console exe: $(file "$exe")"

# Exactly these system DLLs: a list that could not be read fails too.
table=$(i686-w64-mingw32-objdump -p "$exe")
imports=$(sed -n 's/^\s*DLL Name: //p' <<<"$table" | tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
expected="advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ntdll.dll ole32.dll shell32.dll shlwapi.dll user32.dll "
[ "$imports" = "$expected" ] || fail "imports '${imports}', not exactly '$expected'"
# Looked up at run time: imported, it would keep the exe from starting on
# Windows 7 without update KB2533623.
! grep -q 'SetDefaultDllDirectories' <<<"$table" || fail "imports SetDefaultDllDirectories"

# Wine does not read the manifest, so check it here: well-formed, asInvoker,
# and the very bytes embedded in the exe.
xmllint --noout "$manifest" || fail "manifest is not well-formed"
grep -q 'requestedExecutionLevel level="asInvoker"' "$manifest" || fail "manifest lacks asInvoker"
grep -aq 'requestedExecutionLevel level="asInvoker"' "$exe" || fail "manifest not embedded"

# Version strings are UTF-16LE in the resource.
wide=$(i686-w64-mingw32-strings -el "$exe")
for s in "ProductName" "FileDescription" "FileVersion" "LegalCopyright" "Vexaline font plugin uninstaller"; do
    grep -qF "$s" <<<"$wide" || fail "version resource lacks $s"
done

# One version everywhere: the numeric one, the two strings and the manifest.
found=$(python3 - "$exe" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO
ms, ls, pms, pls = struct.unpack_from("<4I", data, at + 8)
num = lambda hi, lo: f"{hi >> 16}.{hi & 0xFFFF}.{lo >> 16}.{lo & 0xFFFF}"
def string(key):
    k = key.encode("utf-16-le") + b"\0\0"
    i = data.find(k) + len(k)
    i += (-i) % 4  # the value starts on a 32-bit boundary
    return data[i:data.find(b"\0\0", i) + 1].decode("utf-16-le").rstrip("\0")
print(num(ms, ls), num(pms, pls), string("FileVersion"), string("ProductVersion"))
PY
)
embedded=$(grep -ao 'assemblyIdentity[^>]*version="[0-9.]*"' "$exe" | sed 's/.*version="//; s/"$//')
[ "$found $embedded" = "$version $version $version $version $version" ] ||
    fail "versions differ from the project's $version: file, product, strings, manifest: $found $embedded"

# Hardening, asked for explicitly: DYNAMIC_BASE (0x40) and NX_COMPAT (0x100),
# with the relocations that DYNAMIC_BASE needs.
dll=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^DllCharacteristics\s*//p')
(( (0x$dll & 0x140) == 0x140 )) || fail "DllCharacteristics $dll lacks DYNAMIC_BASE or NX_COMPAT"
i686-w64-mingw32-objdump -h "$exe" | grep -q ' \.reloc ' || fail "no relocation section"
# The copy with symbols beside it holds the very same code.
symbols=${exe%.exe}.debug.exe
i686-w64-mingw32-objdump -h "$symbols" | grep -q ' \.debug_info ' || fail "no symbols in $symbols"
cmp -s <(i686-w64-mingw32-objcopy -O binary --only-section=.text "$exe" /dev/stdout) \
       <(i686-w64-mingw32-objcopy -O binary --only-section=.text "$symbols" /dev/stdout) ||
    fail "$symbols does not hold the product's code"
echo "check_exe: $(basename "$exe") is a PE32 console exe, system DLLs only, asInvoker manifest," \
     "version $version throughout, DllCharacteristics $dll with relocations, symbols in $(basename "$symbols")"
