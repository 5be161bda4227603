#!/bin/sh
# The program really ran in the Wine leg that VX_WINE_MODE names: WoW64 mode
# announces itself at err level, the classic 32-bit loader and a 64-bit
# program do not.
# Usage: wine_mode.sh WINE-RUN UNINSTALL.exe
out=$(WINEDEBUG=err+module "$1" "$2" --mode=update 2>&1 </dev/null); rc=$?
case "$VX_WINE_MODE:$out" in
    wow64:*"in experimental wow64 mode"*|classic:*|win64:*) ;;
    *) echo "not in $VX_WINE_MODE mode: $out"; exit 1 ;;
esac
if [ "$VX_WINE_MODE" != wow64 ]; then
    case "$out" in *"wow64 mode"*) echo "$VX_WINE_MODE ran in WoW64: $out"; exit 1 ;; esac
fi
if [ "$VX_WINE_MODE" = win64 ]; then
    file "$2" | grep -q 'PE32+ executable' || { echo "not a 64-bit program: $(file "$2")"; exit 1; }
fi
if [ "$VX_WINE_MODE" = classic ]; then
    # A win32 prefix is 32-bit Windows: it has no folder for 32-bit programs
    # on 64-bit Windows.
    [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ] || { echo "classic mode in a win64 prefix"; exit 1; }
fi
[ "$rc" -eq 0 ] || { echo "exit $rc: $out"; exit 1; }
echo "uninstall.exe ran in $VX_WINE_MODE mode"
