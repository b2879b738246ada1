#!/usr/bin/env bash
# The Windows installer under Wine: a silent install for the current user puts the launcher,
# its player and config.ini in the chosen folder with Start menu and desktop shortcuts; the
# installed program starts; an install over it keeps the operator's config.ini; the silent
# uninstall takes everything it put there away. Where the WebView2 Runtime is missing the
# installer says what to install (a message box when interactive, install.log always) or runs
# the bootstrapper it carries; where the runtime is registered it does neither. Needs the
# Windows lane's Wine environment and display.
#   installer_test.sh INSTALLER FAKE_SETUP_INSTALLER
#     INSTALLER             an installer without a bootstrapper
#     FAKE_SETUP_INSTALLER  the same with fake_webview2_setup.exe as the bootstrapper
set -uo pipefail
if [ $# != 2 ]; then echo "usage: installer_test.sh INSTALLER FAKE_SETUP_INSTALLER" >&2; exit 2; fi
installer=$1
fake_setup_installer=$2
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

# Where Microsoft's guide says the runtime is registered: per machine (64-bit and 32-bit
# Windows), per user.
client='Microsoft\EdgeUpdate\Clients\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}'
declare -A runtime_keys=([machine64]="HKLM\\SOFTWARE\\WOW6432Node\\$client"
                         [machine32]="HKLM\\SOFTWARE\\$client" [user]="HKCU\\Software\\$client")
runtime() { # none | WHERE [VERSION]: only that registration (an empty version without one)
  local key
  for key in "${runtime_keys[@]}"; do wine reg delete "$key" /f </dev/null >/dev/null 2>&1; done
  if [ "$1" = none ]; then return; fi
  wine reg add "${runtime_keys[$1]}" /v pv /d "${2-}" /f </dev/null >/dev/null 2>&1
}
install_log() { iconv -f UTF-16 -t UTF-8 "$dir/install.log" 2>/dev/null | tr -d '\r'; }
says() { install_log | grep -qF "$1" && echo yes || echo no; }
what_to_install="https://go.microsoft.com/fwlink/p/?LinkId=2124703 下载并安装 Microsoft Edge WebView2 Runtime"

export TAVRIN_FAKE_SETUP_MARKER="C:\\tavrin-installer-test\\$$-setup-ran"
setup_ran=$(win_path "$TAVRIN_FAKE_SETUP_MARKER")
cleanup() { runtime none; rm -rf "$(win_path 'C:\tavrin-installer-test')"; }
trap cleanup EXIT

runtime none
timeout 120 wine "$installer" /S "/D=$folder"
check "install exit status" 0 $?
for file in tavrin.exe config.ini uninstall.exe; do
  check "installed $file" yes "$(exists "$dir/$file")"
done
check "the player's files" yes "$(ls "$dir"/ruffle/*.wasm >/dev/null 2>&1 && echo yes || echo no)"
check "the self-test's movie" yes "$([ -s "$dir/ruffle/self-test.swf" ] && echo yes || echo no)"
check "desktop shortcut" yes "$(exists "$desktop")"
check "Start menu shortcut" yes "$(exists "$menu")"
check "the installed program starts" "tavrin " "$(timeout 60 wine "$dir/tavrin.exe" --version 2>/dev/null | tr -d '\r' | cut -c1-7)"
check "no runtime: the log says what to install" yes "$(says "$what_to_install")"

# The operator's settings survive an install over the old one.
printf '[config]\r\nconfigUrl=http://operator.example/c?yid=\r\n' > "$dir/config.ini"
runtime user 120.0.2210.91
timeout 120 wine "$installer" /S "/D=$folder"
check "config.ini kept" "configUrl=http://operator.example/c?yid=" "$(sed -n 2p "$dir/config.ini" | tr -d '\r')"
check "runtime per user: found" yes "$(says "版本 120.0.2210.91")"
check "runtime per user: nothing to install" no "$(says "$what_to_install")"

# Interactive, a missing runtime stops the install at a message box (a second window under
# the installer's caption) until the player answers it. Return is pressed in the installer's
# windows: on the directory page (install), in the box, on the finished page (close).
windows() { xdotool search --name '^Tavrin 安装' 2>/dev/null; }
press_return() {
  local window
  for window in $(windows); do
    timeout 5 xdotool windowfocus --sync "$window" && xdotool key Return
  done
}
until_windows() { # COUNT [press]: waits up to 60 s for COUNT windows, pressing Return if asked
  local i
  for i in $(seq 1 60); do
    [ "$(windows | wc -l)" = "$1" ] && return 0
    [ "${2-}" = press ] && press_return
    sleep 1
  done
  return 1
}
runtime none
timeout 120 wine "$installer" "/D=$folder" & interactive=$!
until_windows 1
check "interactive, no runtime: a message box" yes "$(until_windows 2 press && echo yes || echo no)"
for _ in $(seq 1 60); do kill -0 "$interactive" 2>/dev/null || break; press_return; sleep 1; done
wait "$interactive"
check "interactive install exit status" 0 $?

# With a bootstrapper (one that the installer stops after 15 s): what the registry holds |
# what the bootstrapper does (TAVRIN_FAKE_SETUP_* settings) | the arguments it ran with | what
# the log says (&-separated) | what the log must not say.
while IFS='|' read -r registered does ran log_says not_this; do
  runtime $registered
  rm -f "$setup_ran"
  settings=()
  for setting in $does; do settings+=("TAVRIN_FAKE_SETUP_$setting"); done
  env "${settings[@]}" timeout 120 wine "$fake_setup_installer" /S "/D=$folder" </dev/null
  check "$registered, $does: exit status" 0 $?
  check "$registered, $does: the bootstrapper ran with" "$ran" \
    "$(tr -d '\r' 2>/dev/null < "$setup_ran" || echo no)"
  IFS='&' read -ra phrases <<<"$log_says"
  for phrase in "${phrases[@]}"; do
    check "$registered, $does: the log says $phrase" yes "$(says "$phrase")"
  done
  check "$registered, $does: the log does not say $not_this" no "$(says "$not_this")"
done <<EOF
machine64 120.0.2210.91|EXIT=0|no|已找到 Microsoft Edge WebView2 Runtime，版本 120.0.2210.91|退出码
machine32 120.0.2210.91|EXIT=0|no|已找到 Microsoft Edge WebView2 Runtime，版本 120.0.2210.91|退出码
user 0.0.0.0|EXIT=7|/silent /install|退出码 7&$what_to_install|已安装
user|VERSION=121.0.6167.85|/silent /install|退出码 0&已安装 Microsoft Edge WebView2 Runtime，版本 121.0.6167.85|$what_to_install
none|SECONDS=120|/silent /install|15 秒内未结束，已停止&$what_to_install|退出码
EOF

# The uninstaller runs a copy of itself and returns at once: its work is waited for.
timeout 60 wine "$dir/uninstall.exe" /S
for _ in $(seq 1 60); do [ -e "$dir" ] || break; sleep 0.5; done
check "folder removed" no "$(exists "$dir")"
check "desktop shortcut removed" no "$(exists "$desktop")"
check "Start menu shortcut removed" no "$(exists "$menu")"

if [ "$failures" -gt 0 ]; then exit 1; fi
echo "installer: all checks passed"
