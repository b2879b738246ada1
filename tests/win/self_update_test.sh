#!/usr/bin/env bash
# The self-update under Wine against the demo operator service, through the real launcher
# (with the stand-in engine): a newer version is handed over to tavrin-update.exe, which
# installs it and starts it; a package that fails part-way leaves the old launcher; a launcher
# started while the updater works says an update is in progress. Needs the Windows lane's Wine
# environment. Usage: self_update_test.sh TAVRIN_EXE TAVRIN_UPDATE_EXE NEW_LAUNCHER_EXE
set -uo pipefail
launcher=$(readlink -f "$1")
updater=$(readlink -f "$2")
new_launcher=$(readlink -f "$3")
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$root/tests/integration/check.sh"
work=$(mktemp -d)
win_path() { winepath -w "$1" 2>/dev/null | tr -d '\r'; }

# The service offers the next version; its packages are the Windows programs.
export DEMO_UPDATER=$updater DEMO_NEW_LAUNCHER=$new_launcher DEMO_PROGRAM_SUFFIX=.exe
own=$(wine "$launcher" --version 2>/dev/null | tr -d '\r' | sed -n 's/^tavrin \([0-9]*\)\..*/\1/p')
export DEMO_UPDATE_VERSION=$((own + 1))
. "$root/tools/demo-site/start-background.sh" "$work"
trap 'kill $demo_pid 2>/dev/null; wait $demo_pid 2>/dev/null; rm -rf "$work"' EXIT
export TAVRIN_DEMO_UPDATE_LOG
TAVRIN_DEMO_UPDATE_LOG=$(win_path "$work/new-launcher.log")
appdata=$(wine cmd /c 'echo %LOCALAPPDATA%' 2>/dev/null | tr -d '\r')
log=$(winepath -u "$appdata\\tavrin.log" 2>/dev/null)
data=$(winepath -u "$appdata\\tavrin" 2>/dev/null)
record=$(winepath -u "$appdata\\tavrin.update-failed" 2>/dev/null)
rm -rf "$data" "$record"
: > "$log"

install_copy() { # FOLDER
  rm -rf "$1" && mkdir -p "$1" && cp "$launcher" "$1/tavrin.exe"
  local key=""
  [ -s "$work/site/update-key.pub" ] && key="updateKey=$(cat "$work/site/update-key.pub")"
  printf '[config]\r\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\r\n%s\r\n' "$demo_origin" "$key" > "$1/config.ini"
  echo "the player's" > "$1/saved.txt"
}
wait_for() { # FILE PATTERN SECONDS
  for _ in $(seq $(($3 * 10))); do tr -d '\r' 2>/dev/null < "$1" | grep -qF -- "$2" && return 0; sleep 0.1; done
  return 1
}
same() { cmp -s "$1" "$2" && echo same || echo differs; }
leftovers() { find "$1" -name '*.tavrin-*' | wc -l; }
# The updater has ended once its log line is there and its program can be removed.
updater_ended() { wait_for "$log" "$1" 60 && sleep 1; }

# Apps & features entries as the installer writes them: one for this copy, one for another.
entries='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
entry() { # NAME FOLDER
  wine reg add "$entries\\$1" /v InstallLocation /d "$(win_path "$2")" /f > /dev/null 2>&1
  wine reg add "$entries\\$1" /v DisplayVersion /d 33.0.0 /f > /dev/null 2>&1
}
shown_version() { wine reg query "$entries\\$1" /v DisplayVersion 2>/dev/null | tr -d '\r' | awk '/DisplayVersion/ {print $3}'; }
app=$work/app
install_copy "$app"
entry TavrinSelfUpdateTest "$app"
entry TavrinSelfUpdateOther "$work/elsewhere"
trap 'for e in TavrinSelfUpdateTest TavrinSelfUpdateOther; do wine reg delete "$entries\\$e" /f >/dev/null 2>&1; done; kill $demo_pid 2>/dev/null; wait $demo_pid 2>/dev/null; rm -rf "$work"' EXIT
cp "$app/config.ini" "$work/config.before"
started=$(date +%s%N)
timeout 120 wine "$app/tavrin.exe" --stand-in-engine > "$work/launcher.out" 2>&1
check "update: the launcher ends after handing over" 0 $?
wait_for "$work/new-launcher.log" "new launcher started: $(win_path "$app/tavrin.exe");" 60
check "update: the new launcher started" 0 $?
echo "update: from the launcher's start to the new launcher's: $((($(date +%s%N) - started) / 1000000)) ms"
updater_ended "tavrin-update: started the new launcher"
check "update: the new launcher is in place" same "$(same "$app/tavrin.exe" "$new_launcher")"
check "update: the package's other file came with it" yes "$([ -f "$app/whats-new.txt" ] && echo yes)"
check "update: config.ini kept" same "$(same "$app/config.ini" "$work/config.before")"
check "update: the player's file kept" "the player's" "$(cat "$app/saved.txt")"
check "update: nothing left beside" 0 "$(leftovers "$app")"
check "update: the new launcher had the locks" 1 "$(grep -c 'handed-on locks: [0-9]' "$work/new-launcher.log")"
check "update: Apps & features shows the new launcher's version" 99.4.2 "$(shown_version TavrinSelfUpdateTest)"
check "update: another program's entry is left alone" 33.0.0 "$(shown_version TavrinSelfUpdateOther)"
check "update: logged" 1 "$(tr -d '\r' < "$log" | grep -c 'tavrin-update: installed 2 files: tavrin.exe, whats-new.txt')"

app=$work/app2
install_copy "$app"
mkdir -p "$app/whats-new.txt/mine"
timeout 120 wine "$app/tavrin.exe" --stand-in-engine > "$work/launcher.out" 2>&1
updater_ended "was not updated"
check "part-way: rolled back" 1 "$(tr -d '\r' < "$log" | grep -c 'was not updated: a folder stands where the file goes: whats-new.txt; the files replaced so far have their old ones back')"
check "part-way: the old launcher is in place" same "$(same "$app/tavrin.exe" "$launcher")"
check "part-way: nothing left beside" 0 "$(leftovers "$app")"
# The failed version is recorded and the old launcher started again; with no engine under Wine
# it stops at the engine's box, and the test ends it.
check "part-way: the failed version recorded" "$DEMO_UPDATE_VERSION" \
  "$(sed -n 's/^version=//p' "$record" 2>/dev/null | tr -d '\r')"
wait_for "$log" "tavrin-update: started the old launcher $(win_path "$app/tavrin.exe") again" 30
check "part-way: the old launcher started again" 0 $?
pkill -f 'app2.tavrin\.exe'
rm -f "$record"

# A launcher that lives on after handing over (until it is ended): the updater holds the
# locks while it waits, and a launcher started then says that an update is in progress.
slow=$work/slow
mkdir -p "$slow" "$work/staged"
cp "$new_launcher" "$slow/tavrin.exe"
cp "$new_launcher" "$work/staged/tavrin.exe"
echo "staged" >> "$work/staged/tavrin.exe"
wine "$slow/tavrin.exe" --hand-over 120 "$(win_path "$updater")" \
  "$(win_path "$slow/tavrin.exe")*$(win_path "$work/staged")\\*tavrin" > /dev/null 2>&1 &
parent=$!
wait_for "$log" "tavrin-update: took the data folder's locks" 30
check "in progress: the updater holds the locks" 0 $?
install_copy "$work/app3"
wine "$work/app3/tavrin.exe" --stand-in-engine > /dev/null 2>&1 &
second=$!
wait_for "$log" "another copy of the launcher is updating" 60
check "in progress: a second launcher says so" 0 $?
kill $second 2>/dev/null
check "in progress: the running launcher is not replaced" same "$(same "$slow/tavrin.exe" "$new_launcher")"
kill $parent 2>/dev/null
updater_ended "tavrin-update: started the new launcher $(win_path "$slow/tavrin.exe")"
check "in progress: replaced once its launcher ended" same "$(same "$slow/tavrin.exe" "$work/staged/tavrin.exe")"

finish
