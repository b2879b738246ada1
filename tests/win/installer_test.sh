#!/usr/bin/env bash
# The Windows installer under Wine: a silent install for the current user puts the launcher,
# its player and config.ini in the chosen folder with Start menu and desktop shortcuts; the
# installed program starts; an install over it keeps the operator's config.ini; the silent
# uninstall takes everything it put there away. Needs the Windows lane's Wine environment.
#   installer_test.sh INSTALLER
set -uo pipefail
installer=$1
failures=0
check() { # name expected actual
  if [ "$2" = "$3" ]; then return; fi
  echo "FAILED: $1"; echo "  expected: $2"; echo "  actual:   $3"; failures=$((failures + 1))
}
win_path() { winepath -u "$1" 2>/dev/null; }
exists() { [ -e "$1" ] && echo yes || echo no; }

folder="C:\\tavrin-installer-test\\$$"
dir=$(win_path "$folder")
profile=$(wine cmd /c 'echo %USERPROFILE%' 2>/dev/null | tr -d '\r')
appdata=$(wine cmd /c 'echo %APPDATA%' 2>/dev/null | tr -d '\r')
desktop=$(win_path "$profile\\Desktop\\Tavrin.lnk")
menu=$(win_path "$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Tavrin\\Tavrin.lnk")
cleanup() { rm -rf "$(win_path 'C:\tavrin-installer-test')"; }
trap cleanup EXIT

timeout 120 wine "$installer" /S "/D=$folder"
check "install exit status" 0 $?
for file in tavrin.exe config.ini uninstall.exe; do
  check "installed $file" yes "$(exists "$dir/$file")"
done
check "the player's files" yes "$(ls "$dir"/ruffle/*.wasm >/dev/null 2>&1 && echo yes || echo no)"
check "desktop shortcut" yes "$(exists "$desktop")"
check "Start menu shortcut" yes "$(exists "$menu")"
check "the installed program starts" "tavrin " "$(timeout 60 wine "$dir/tavrin.exe" --version 2>/dev/null | tr -d '\r' | cut -c1-7)"

# The operator's settings survive an install over the old one.
printf '[config]\r\nconfigUrl=http://operator.example/c?yid=\r\n' > "$dir/config.ini"
timeout 120 wine "$installer" /S "/D=$folder"
check "config.ini kept" "configUrl=http://operator.example/c?yid=" "$(sed -n 2p "$dir/config.ini" | tr -d '\r')"

# The uninstaller runs a copy of itself and returns at once: its work is waited for.
timeout 60 wine "$dir/uninstall.exe" /S
for _ in $(seq 1 60); do [ -e "$dir" ] || break; sleep 0.5; done
check "folder removed" no "$(exists "$dir")"
check "desktop shortcut removed" no "$(exists "$desktop")"
check "Start menu shortcut removed" no "$(exists "$menu")"

if [ "$failures" -gt 0 ]; then exit 1; fi
echo "installer: all checks passed"
