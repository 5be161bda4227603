#!/usr/bin/env bash
# Ways out of the plugin's folders that a profile opens by its names and its
# folder settings, against a built uninstaller. Files are laid out where each
# way would lead; after the run only the plugin's own plain files may be gone.
#  - Names holding "\" (Linux allows them; Wine lists them as they are) in
#    every walked folder, pointing into subfolders, into folders never
#    walked, into the other plugin folder and out of the profile.
#  - Natively: a HOME that the Windows side cannot name exactly.
#  - Under Wine: known-folder settings that are not absolute paths.
# Usage: escapes.sh native UNINSTALL
#        escapes.sh windows UNINSTALL.exe WINE-RUN
set -uo pipefail
mode=$1 uninstall=$2
work=$(mktemp -d) wine=${3:-}
# shellcheck source=tests/e2e_common.sh
. "$(dirname "$0")/e2e_common.sh"

put() { mkdir -p "$(dirname "$1")" && echo "$2" > "$1"; }
witness=1
# The plugin's folders below a roaming, a local and a profile folder.
rset() { echo "$1/Orvane/Brimlet/plugins/vexaline"; }
lset() { echo "$1/Orvane/Pellmire/Brimlet/plugins/vexaline"; }
cset() { echo "$1/Lanterra Files/.sync_plugin_data/vexaline"; }
# Files the run empties in such folders, were it wrongly to walk them.
lay_set() {  # lay_set ROAMING LOCAL PROFILE (any may be "-")
    local d
    [ "$1" = - ] || for d in "" /r /e /c; do put "$(rset "$1")$d/f.otf" victim; done
    [ "$2" = - ] || for d in "" /r /e /c; do put "$(lset "$2")$d/f.otf" victim; done
    [ "$3" = - ] || put "$(cset "$3")/f.otf" victim
}

# Names with separators. The climbs out of the profile end in work natively
# (the host resolves them) and at drive C's root under Wine (which stops
# there, as Windows does).
if native; then top=$work; else top=$WINEPREFIX/drive_c; fi
R=$(rset "$HOME/AppData/Roaming") L=$(lset "$HOME/AppData/Local") C=$(cset "$HOME")
put "$top/precious/victim" outside
for d in "$R/r" "$R/e" "$R" "$R/c" "$L/r" "$L/e" "$L" "$L/c" "$C"; do
    up=$(tr -cd / <<<"${d#"$top"}" | sed 's|/|..\\|g')
    put "$d/gone.otf" plain
    put "$d/sub/x.otf" kept; put "$d/sub\\x.otf" name
    put "$(dirname "$d")/u/keep" kept; put "$d/..\\u\\keep" name
    put "$d/${up}precious\\victim" name
    put "$d/..\\..\\..\\..\\..\\..\\Local\\Orvane\\Pellmire\\Brimlet\\plugins\\vexaline\\u\\data" name
done
put "$L/u/data" kept
before=$(snapshot)
run
judge "names with separators: only the plain files go" "$(grep -v '/gone\.otf	' <<<"$before")"
rm -rf "$HOME/AppData/Roaming/Orvane" "$HOME/AppData/Local/Orvane" "$HOME/Lanterra Files"

if native; then
    # A cloud-sync client makes its folders reparse points with a cloud tag:
    # they are the plugin's own and are emptied; a link still is not walked.
    put "$R/r/a.otf" font; put "$C/sync.db" data; put "$work/elsewhere/keep" kept
    mkdir -p "$(dirname "$R/e")"; ln -s "$work/elsewhere" "$R/e"
    VXEMU_CLOUD_FOLDERS="$R/r:$C" run
    check "cloud placeholders are emptied, a linked folder is not" \
        test "$status:$output:$(ls -A "$R/r" "$C" | grep -c .):$(cat "$work/elsewhere/keep")" = "0::2:kept"
    rm -rf "$HOME/AppData/Roaming/Orvane" "$HOME/Lanterra Files" "$work/elsewhere"

    # A HOME the Windows side would read as another folder: "\" is its
    # separator, and bytes that are not UTF-8 become U+FFFD.
    for pair in 'a\b:a/b' $'caf\xe9:caf\xef\xbf\xbd'; do
        home=$work/${pair%%:*} misread=$work/${pair#*:}
        for h in "$home" "$misread"; do
            mkdir -p "$h/AppData/Roaming" "$h/AppData/Local"
            lay_set "$h/AppData/Roaming" "$h/AppData/Local" "$h"
        done
        before=$(snapshot)
        HOME=$home run
        judge "HOME $(printf %q "${pair%%:*}"): nothing changes anywhere" "$before"
        rm -rf "$home" "$misread"
    done
else
    # Folder settings as the registry holds them, relative or rooted but
    # without a drive: the shell hands them out as they are. The run starts
    # in C:\cwd; "\" joined with the suffix would be the share \\Orvane\Brimlet.
    cwd=$WINEPREFIX/drive_c/cwd unc=$WINEPREFIX/dosdevices/unc
    shell='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders'
    profiles='HKLM\Software\Microsoft\Windows NT\CurrentVersion\ProfileList'
    user=$(id -un)
    setting() {  # setting KEY VALUE DATA ROAMING LOCAL PROFILE: the folders laid out for it
        local key=$1 value=$2 data=$3 old
        old=$("$wine" reg query "$key" /v "$value" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$value *REG_EXPAND_SZ *//p")
        [ -n "$old" ] || { check "$value is set in a fresh prefix" false; return; }
        mkdir -p "$cwd"; lay_set "$4" "$5" "$6"
        before=$(snapshot)
        "$wine" reg add "$key" /v "$value" /t REG_EXPAND_SZ /d "$data" /f >/dev/null 2>&1
        run
        "$wine" reg add "$key" /v "$value" /t REG_EXPAND_SZ /d "$old" /f >/dev/null 2>&1
        judge "$value = '$data': nothing changes anywhere" "$before"
        rm -rf "$cwd" "$unc" "$HOME/AppData/Roaming/Orvane" "$WINEPREFIX/drive_c/Orvane"
    }
    setting "$shell" AppData rel "$cwd/rel" - -
    setting "$shell" AppData . "$cwd" - -
    setting "$shell" AppData '%NOSUCHVAR%\x' "$cwd/%NOSUCHVAR%/x" - -
    setting "$shell" AppData 'C:' "$WINEPREFIX/drive_c" - -
    setting "$shell" AppData '\' "$unc" - -
    setting "$shell" AppData '%HOMEPATH%\AppData\Roaming' "$HOME/AppData/Roaming" - -
    setting "$shell" 'Local AppData' 'rel\loc' - "$cwd/rel/loc" -
    setting "$shell" 'Local AppData' '\' - "$unc" -
    setting "$profiles" ProfilesDirectory relq - - "$cwd/relq/$user"
fi

summary
