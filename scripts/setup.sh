#!/usr/bin/env bash
# Installs what the builds and their tests need on Debian 12, when it is
# missing; quick when everything is already there. Run as root (or with sudo).
#
# A package index can be mid-sync for hours ("File has unexpected size"), and
# then wine32:i386 cannot be installed, because its i386 libraries must match
# the amd64 security updates. Set-up goes on with the indexes it has, installs
# what it can, and where wine32:i386 is missing unpacks the 32-bit Windows
# DLLs of libwine:i386 into a cache outside build/ (WoW64 mode needs nothing
# else). It fails only when no Wine leg at all can run.
set -uo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
winerun="$(dirname "$0")/../cmake/wine-run.sh"

have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
dlls_found() { "$winerun" --wine32-dlls >/dev/null 2>&1; }

need=()
for p in cmake ninja-build g++ googletest libgtest-dev libgmock-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 \
         binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 \
         libxml2-utils file fonts-dejavu-core valgrind clang clang-format clang-tidy \
         libclang-rt-14-dev time strace bc python3 osslsigncode openssl; do
    have "$p" || need+=("$p")
done
# The classic leg's loader is wanted, but a machine without it still has WoW64
# from the unpacked DLLs: once those are there, do not ask the registry again.
want_i386=0
have wine32:i386 || dlls_found || want_i386=1

updated=0
update() {  # a few tries, then on with whatever indexes apt has
    [ "$updated" -eq 0 ] || return 0
    updated=1
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    local try
    for try in 1 2 3; do
        $SUDO apt-get update -q && return 0
        echo "setup: apt-get update failed (try $try of 3)"
        [ "$try" -eq 3 ] || sleep 10
    done
    echo "setup: going on with the package indexes apt has"
}
install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "$@"; }

if [ "${#need[@]}" -gt 0 ]; then
    update
    echo "setup: installing ${need[*]}"
    install "${need[@]}" || { echo "setup: could not install ${need[*]}"; exit 1; }
fi

if [ "$want_i386" -eq 1 ]; then
    update
    install wine32:i386 || echo "setup: wine32:i386 cannot be installed now"
fi
if ! have wine32:i386 && ! dlls_found; then
    # The DLLs must be those of the installed 64-bit Wine.
    cache=$("$winerun" --wine32-cache)
    version=$(dpkg-query -W -f='${Version}' wine64)
    tmp=$(mktemp -d)
    if (cd "$tmp" && apt-get download -q "libwine:i386=$version" && dpkg-deb -x libwine_*.deb x); then
        mkdir -p "$cache"
        rm -rf "$cache/i386-windows"
        mv "$tmp/x/usr/lib/i386-linux-gnu/wine/i386-windows" "$cache/"
    fi
    rm -rf "$tmp"
fi

# The legs the tests will run, as configure finds them.
legs=$("$winerun" --legs)
if [ -z "$legs" ]; then
    echo "setup: Wine could not be installed: no leg can run the Windows build"
    exit 1
fi
case " $legs " in
    *" wow64 "* | *" classic "*) echo "setup: Wine legs that will run here: $legs" ;;
    *) echo "setup: Wine legs that will run here: $legs (no 32-bit leg: only the x86-64 test build runs under Wine)" ;;
esac
