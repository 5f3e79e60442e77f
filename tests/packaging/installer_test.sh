#!/usr/bin/env bash
# installer_test.sh SETUP WINE STARTS PREFIX: the installer's round
# trip in a Wine prefix of this test's own (null graphics driver). The silent
# installer puts exactly the expected files and shortcuts in place and offers
# Quillon for .lsp files without replacing their default program; the
# installed editor starts and shows its window; the silent uninstaller takes
# away every file, folder and registry entry that the installer made and
# leaves the .lsp default program alone.
set -u
setup=$1 WINE=$2 starts=$3 prefix=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/common.sh"
# No menu entries or file associations of the Linux desktop from this prefix.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
export WINEPREFIX=$prefix

# A run that stopped half-way may have left an installation behind: the
# prefix is then made again.
[ -e "$prefix.dirty" ] && rm -rf "$prefix"
make_prefix "$prefix" null
touch "$prefix.dirty"
trap '"$WINESERVER" -k 2>/dev/null' EXIT

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_eq() {  # what, expected, actual
    [ "$2" == "$3" ] || fail "$1"$'\n'"  expected: $2"$'\n'"  actual:   $3"
}

# Every file and folder of drive C but the temporary folders, which the
# installer and the uninstaller use for their own copies and plug-ins.
drive_c() {
    (cd "$prefix/drive_c" && find . -path ./windows/temp -prune -o -path './users/*/Temp' -prune -o \
        -path './users/*/AppData/Local/Temp' -prune -o -print | sort)
}
# reg_value KEY VALUE: the data of a registry value ("" for the default
# value), or "<none>".
reg_value() {
    local option=(/v "$2")
    [ -z "$2" ] && option=(/ve)
    local line
    line=$("$WINE" reg query "$1" "${option[@]}" 2>/dev/null | tr -d '\r' | grep -E 'REG_(SZ|DWORD)' | head -n 1)
    [ -n "$line" ] && sed -E 's/^ *[^ ]*( [^ ]+)* +REG_[A-Z]+ *//' <<<"$line" || echo "<none>"
}
classes='HKLM\Software\Classes'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon'

# The default program of .lsp, set by some other program, must survive both.
"$WINE" reg add "$classes\\.lsp" /ve /d otherlisp.lsp /f >/dev/null 2>&1
"$WINESERVER" -w
before=$(drive_c)

"$WINE" "$setup" /S
"$WINESERVER" -w
after_install=$(drive_c)

location=$(reg_value "$uninstall_key" InstallLocation)
case $location in
    'C:\Program Files\Quillon' | 'C:\Program Files (x86)\Quillon') ;;
    *) fail "installed in \"$location\", not under Program Files" ;;
esac
folder=./${location#C:\\}
folder=${folder//\\//}
menu='./ProgramData/Microsoft/Windows/Start Menu/Programs/Quillon'
made=("$folder" "$folder/quillon.exe" "$folder/kestralune.exe" "$folder/README.txt" "$folder/LICENSE.txt"
      "$folder/uninstall.exe" "$menu" "$menu/Quillon.lnk" "$menu/KESTRALUNE listener.lnk" "$menu/Read me.lnk"
      "$menu/Uninstall Quillon.lnk")
expect_eq "what the installer made" "$(printf '%s\n' "${made[@]}" | sort)" \
    "$(comm -13 <(echo "$before") <(echo "$after_install"))"
expect_eq "what the installer removed" "" "$(comm -23 <(echo "$before") <(echo "$after_install"))"

command="\"$location\\quillon.exe\" %1"
expect_eq "Open with: the program's command" "$command" \
    "$(reg_value "$classes\\Applications\\quillon.exe\\shell\\open\\command" "")"
expect_eq "Open with: the program's own .lsp type" "$command" \
    "$(reg_value "$classes\\Quillon.lsp\\shell\\open\\command" "")"
expect_eq "Open with: the type listed for .lsp" "" "$(reg_value "$classes\\.lsp\\OpenWithProgids" Quillon.lsp)"
expect_eq ".lsp default program after installing" otherlisp.lsp "$(reg_value "$classes\\.lsp" "")"
expect_eq "uninstaller in Apps" "\"$location\\uninstall.exe\"" "$(reg_value "$uninstall_key" UninstallString)"

"$WINE" "$starts" "$location\\quillon.exe" || fail "the installed editor did not show its window"
"$WINESERVER" -w

"$WINE" "$location\\uninstall.exe" /S
# The uninstaller runs from a copy of itself and returns at once.
"$WINESERVER" -w
after_uninstall=$(drive_c)
expect_eq "what the uninstaller left" "" "$(comm -13 <(echo "$before") <(echo "$after_uninstall"))"
expect_eq "what the uninstaller took that was there before" "" \
    "$(comm -23 <(echo "$before") <(echo "$after_uninstall"))"
for key in "$classes\\Applications\\quillon.exe" "$classes\\Quillon.lsp" "$classes\\.lsp\\OpenWithProgids" \
           "$uninstall_key"; do
    "$WINE" reg query "$key" >/dev/null 2>&1 && fail "the uninstaller left $key"
done
expect_eq ".lsp default program after uninstalling" otherlisp.lsp "$(reg_value "$classes\\.lsp" "")"

"$WINE" reg delete "$classes\\.lsp" /f >/dev/null 2>&1
if [ "$failures" -eq 0 ]; then
    rm -f "$prefix.dirty"
    echo "ok: $(basename "$setup") installs, starts and uninstalls cleanly"
    exit 0
fi
exit 1
