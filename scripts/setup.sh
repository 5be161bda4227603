#!/usr/bin/env bash
# Installs what the two builds and their tests need on Debian 12, when it is
# missing; quick when everything is already there. Run as root (or with sudo).
set -euo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in cmake ninja-build g++ libgtest-dev libgmock-dev g++-mingw-w64-i686 wine wine32:i386 \
         libxml2-utils file fonts-dejavu-core qemu-user-static binutils-mingw-w64-i686 valgrind; do
    have "$p" || need+=("$p")
done

if [ "${#need[@]}" -gt 0 ]; then
    echo "setup: installing ${need[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    $SUDO apt-get update -q
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${need[@]}"
fi

# Wine's 32-bit loader is an i386 Linux program. Where the kernel runs no
# 32-bit code (its ia32 emulation switched off), hand such programs to
# qemu-i386 through binfmt_misc.
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    reg=/proc/sys/fs/binfmt_misc
    if [ -w "$reg/register" ] && [ ! -e "$reg/qemu-i386" ] && [ -x /usr/bin/qemu-i386-static ]; then
        echo "setup: this kernel runs no 32-bit code; registering qemu-i386 for it"
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:OCF' \
            | $SUDO tee "$reg/register" >/dev/null || true
    fi
fi
