#!/bin/sh
# Runs a program of a Windows build under Wine in one of its legs;
# VX_WINE_MODE says which, WINEPREFIX names the leg's own prefix:
#   wow64    64-bit Wine runs the 32-bit code inside a 64-bit process, as
#            64-bit Windows does (win64 prefix). Needs no 32-bit Linux
#            program, only Wine's 32-bit Windows DLLs (VX_WINE32_DLLS).
#   classic  Wine's 32-bit loader, an i386 Linux program (win32 prefix); it
#            stands for 32-bit Windows.
#   win64    64-bit Wine runs a 64-bit program (the win64 test build, not the
#            product) with no 32-bit code anywhere: the leg for a kernel that
#            runs no 32-bit code.
# Also: wine-run.sh --wine32-dlls prints the folder of the 32-bit DLLs (the
# installed wine32:i386, else the cache scripts/setup.sh unpacks them into),
# or fails; --wine32-cache prints that cache; --legs prints the legs this
# machine runs, space-separated (configure and set-up both ask it).
cache="${VX_WINE32_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vx-uninstall/wine32}"
wine32_dlls() {
    for dir in ${VX_WINE32_DLLS:-} /usr/lib/i386-linux-gnu/wine "$cache"; do
        [ -f "$dir/i386-windows/kernel32.dll" ] && { echo "$dir"; return 0; }
    done
    return 1
}
# A kernel with its 32-bit emulation switched off has no 32-bit code
# segment, and WoW64 cannot enter 32-bit code (ia32_probe.c, built with the
# host's compiler; a probe that cannot be built leaves the leg to be tried).
runs_ia32_code() {
    dir=$(mktemp -d) || return 0
    if cc -o "$dir/probe" "$(dirname "$0")/ia32_probe.c" 2>/dev/null ||
       gcc -o "$dir/probe" "$(dirname "$0")/ia32_probe.c" 2>/dev/null; then
        "$dir/probe"; ok=$?
    else
        ok=0
    fi
    rm -rf "$dir"
    [ "$ok" -eq 0 ] || /lib/ld-linux.so.2 --version >/dev/null 2>&1
}
legs() {
    out=""
    if /usr/lib/wine/wine64 --version >/dev/null 2>&1; then
        wine32_dlls >/dev/null && runs_ia32_code && out="wow64"
        /usr/lib/wine/wine --version >/dev/null 2>&1 && out="${out:+$out }classic"
        out="${out:+$out }win64"
    elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
        out="classic"
    fi
    echo "$out"
}
case "${1:-}" in
    --wine32-dlls) wine32_dlls; exit ;;
    --wine32-cache) echo "$cache"; exit 0 ;;
    --legs) legs; exit 0 ;;
esac

: "${WINEPREFIX:?set WINEPREFIX to the leg's own prefix}"
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
case "${VX_WINE_MODE:-wow64}" in
    classic)
        export WINEARCH=win32
        exec wine "$@" ;;
    wow64)
        export WINEARCH=win64
        # Debian's 64-bit Wine does not look where the 32-bit DLLs are kept.
        WINEDLLPATH=$(wine32_dlls) || { echo "wine-run.sh: no 32-bit Wine DLLs (scripts/setup.sh)" >&2; exit 2; }
        export WINEDLLPATH
        # Where the kernel runs 32-bit programs, Wine hands a 32-bit program
        # to its classic loader; covering that loader in a private mount
        # namespace leaves it the WoW64 mode alone.
        if [ -e /usr/lib/wine/wine ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
            exec unshare -m sh -c 'mount --bind /dev/null /usr/lib/wine/wine && exec "$@"' \
                sh /usr/lib/wine/wine64 "$@"
        fi
        exec /usr/lib/wine/wine64 "$@" ;;
    win64)
        export WINEARCH=win64
        unset WINEDLLPATH
        exec /usr/lib/wine/wine64 "$@" ;;
    *) echo "wine-run.sh: VX_WINE_MODE must be wow64, classic or win64" >&2; exit 2 ;;
esac
