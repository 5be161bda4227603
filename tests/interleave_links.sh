#!/usr/bin/env bash
# Runs a test program under Wine with the links that the interleaving check
# swaps in made beforehand on the host: Wine 8's CreateSymbolicLinkW reports
# success and makes nothing. Each lies in the stand-in of the folder it
# replaces, and leads into the folder the check lays out (C:\vx-interleave\
# outside), which need not exist yet.
# Usage: interleave_links.sh WINE-RUN PROGRAM [ARGS...]
set -euo pipefail
root=$WINEPREFIX/drive_c/vx-interleave
chmod -R u+w "$root" 2>/dev/null || true
rm -rf "$root"
mkdir -p "$root/set/plugins/vexaline.alt" "$root/set/plugins.alt" "$root/set.alt"
ln -s "$root/outside/plugins/vexaline/e" "$root/set/plugins/vexaline.alt/e"
ln -s "$root/outside/plugins/vexaline" "$root/set/plugins.alt/vexaline"
ln -s "$root/outside/plugins" "$root/set.alt/plugins"
VX_INTERLEAVE_ROOT='C:\vx-interleave' "$@"
