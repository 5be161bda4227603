#!/bin/sh
# The product really ran in the Wine mode that VX_WINE_MODE names: WoW64 mode
# announces itself at err level, the classic 32-bit loader does not.
# Usage: wine_mode.sh WINE-RUN UNINSTALL.exe
out=$(WINEDEBUG=err+module "$1" "$2" --mode=update 2>&1 </dev/null); rc=$?
case "$VX_WINE_MODE:$out" in
    wow64:*"in experimental wow64 mode"*|classic:*) ;;
    *) echo "not in $VX_WINE_MODE mode: $out"; exit 1 ;;
esac
if [ "$VX_WINE_MODE" = classic ]; then
    case "$out" in *"wow64 mode"*) echo "classic mode ran in WoW64: $out"; exit 1 ;; esac
    # A win32 prefix is 32-bit Windows: it has no folder for 32-bit programs
    # on 64-bit Windows.
    [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] || { echo "classic mode in a win64 prefix"; exit 1; }
fi
[ "$rc" -eq 0 ] || { echo "exit $rc: $out"; exit 1; }
echo "uninstall.exe ran in $VX_WINE_MODE mode"
