#!/usr/bin/env bash
# Installs what the two builds and their tests need on Debian 12, when it is
# missing; quick when everything is already there. Run as root (or with sudo).
set -euo pipefail

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in cmake ninja-build g++ libgtest-dev libgmock-dev g++-mingw-w64-i686 wine wine32:i386 wine64 \
         libxml2-utils file fonts-dejavu-core binutils-mingw-w64-i686 valgrind clang clang-format clang-tidy libclang-rt-14-dev time strace bc python3 osslsigncode openssl; do
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
