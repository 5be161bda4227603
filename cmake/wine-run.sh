#!/bin/sh
# Runs a program of the windows build under Wine in one of its two modes for
# 32-bit programs; VX_WINE_MODE says which, WINEPREFIX names the mode's own
# prefix:
#   wow64    64-bit Wine runs the 32-bit code inside a 64-bit process, as
#            64-bit Windows does (win64 prefix). Needs no 32-bit Linux program.
#   classic  Wine's 32-bit loader, an i386 Linux program (win32 prefix); it
#            stands for 32-bit Windows.
: "${WINEPREFIX:?set WINEPREFIX to the mode's own prefix}"
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
case "${VX_WINE_MODE:-wow64}" in
    classic)
        export WINEARCH=win32
        exec wine "$@" ;;
    wow64)
        export WINEARCH=win64
        # Debian's 64-bit Wine does not look where wine32:i386 keeps the
        # 32-bit Windows DLLs.
        export WINEDLLPATH=/usr/lib/i386-linux-gnu/wine
        # Where the kernel runs 32-bit programs, Wine hands a 32-bit program
        # to its classic loader; covering that loader in a private mount
        # namespace leaves it the WoW64 mode alone.
        if [ -e /usr/lib/wine/wine ] && /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
            exec unshare -m sh -c 'mount --bind /dev/null /usr/lib/wine/wine && exec "$@"' \
                sh /usr/lib/wine/wine64 "$@"
        fi
        exec /usr/lib/wine/wine64 "$@" ;;
    *) echo "wine-run.sh: VX_WINE_MODE must be wow64 or classic" >&2; exit 2 ;;
esac
