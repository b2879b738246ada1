#!/usr/bin/env bash
# The self-update under Wine against the demo operator service, through the real launcher
# (with the stand-in engine): a newer version is handed over to tavrin-update.exe, which
# installs it and starts it; a package that fails part-way, or a file held open without
# sharing, leaves the old launcher, started again; a read-only program folder keeps its version;
# a launcher named with a dot updates; an updater ended at any step leaves work the next start
# finishes or undoes; a launcher started while the updater works, or an updater started by hand
# while a launcher holds the data folder, waits or keeps out. Needs the Windows lane's Wine
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

install_copy() { # FOLDER [PROGRAM]
  rm -rf "$1" && mkdir -p "$1" && cp "$launcher" "$1/${2:-tavrin.exe}"
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
# The log's length now, and a wait for a line logged since.
mark() { tr -d '\r' < "$log" | wc -l; }
logged_since() { # MARK PATTERN SECONDS
  for _ in $(seq $(($3 * 10))); do
    tr -d '\r' < "$log" | tail -n +$(($1 + 1)) | grep -qF -- "$2" && return 0
    sleep 0.1
  done
  return 1
}
which_launcher() { # FILE: old, new or broken
  if cmp -s "$1" "$launcher"; then echo old; elif cmp -s "$1" "$new_launcher"; then echo new; else echo broken; fi
}

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

# A file of the launcher's held open without sharing (a virus scanner, another program): the
# updater cannot keep a copy of it, puts back the launcher it had replaced, records the version
# and starts the old launcher again.
app=$work/app-busy
install_copy "$app"
echo "the old notes" > "$app/whats-new.txt"
wine "$new_launcher" --hold "$(win_path "$app/whats-new.txt")" 120 > "$work/holder.out" 2>&1 &
holder=$!
wait_for "$work/holder.out" holding 30
at=$(mark)
timeout 120 wine "$app/tavrin.exe" --stand-in-engine > "$work/launcher.out" 2>&1
logged_since "$at" "tavrin-update: started the old launcher $(win_path "$app/tavrin.exe") again" 60
check "in use: the old launcher started again" 0 $?
check "in use: rolled back" 1 "$(tr -d '\r' < "$log" | tail -n +$((at + 1)) | grep -cF 'was not updated: cannot keep a copy of the old file: whats-new.txt; the files replaced so far have their old ones back')"
check "in use: the old files in place" "old|the old notes" "$(which_launcher "$app/tavrin.exe")|$(tr -d '\r' < "$app/whats-new.txt")"
check "in use: nothing left beside" 0 "$(leftovers "$app")"
check "in use: the failed version recorded" "$DEMO_UPDATE_VERSION" \
  "$(sed -n 's/^version=//p' "$record" 2>/dev/null | tr -d '\r')"
pkill -f 'app-busy.tavrin\.exe'
kill $holder 2>/dev/null
rm -f "$record"

# A program folder nobody may write (installed for all users; here a read-only mount, as root
# writes anywhere else): the launcher leaves the update alone and shows its login window.
# Wine's server opens the files for its programs, so they run under a server of their own in
# the mount's namespace (the shared one's socket hidden there).
read_only_wine() { # FOLDER PROGRAM ARGUMENTS...
  local servers
  servers=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
  unshare -m bash -c 'mount --bind "$1" "$1" && mount -o remount,ro,bind "$1" || exit 1
    for s in /tmp/wine-*/"$2" /tmp/.wine-$(id -u)/"$2"; do
      [ ! -d "$s" ] || mount -t tmpfs -o mode=700 none "$s" || exit 1
    done
    shift 2 && exec wine "$@"' _ "$1" "$servers" "${@:2}"
}
if unshare -m true 2>/dev/null; then
  app=$work/app-ro
  install_copy "$app"
  at=$(mark)
  read_only_wine "$app" "$app/tavrin.exe" --stand-in-engine > /dev/null 2>&1 &
  ro=$!
  logged_since "$at" "tavrin: login window shown" 60
  check "read-only: the login window shown" 0 $?
  check "read-only: said why there is no update" 1 "$(tr -d '\r' < "$log" | tail -n +$((at + 1)) | grep -c 'app-ro\\ is read-only (installed for the whole system): no self-update')"
  check "read-only: the old launcher kept" old "$(which_launcher "$app/tavrin.exe")"
  kill $ro 2>/dev/null; pkill -f 'app-ro.tavrin\.exe'; wait $ro 2>/dev/null
else
  echo "read-only: skipped: this machine makes no mount namespace (unshare -m)"
fi

# A launcher named with a dot updates as any other: its base name is the name before ".exe",
# which names its data folder, its log and the new launcher.
app=$work/app-dot
install_copy "$app" Tavrin-2.0.exe
timeout 120 wine "$app/Tavrin-2.0.exe" --stand-in-engine > "$work/launcher.out" 2>&1
wait_for "$work/new-launcher.log" "new launcher started: $(win_path "$app/Tavrin-2.0.exe");" 60
check "dot: the new launcher started" 0 $?
sleep 1
check "dot: in place whole" "new|0" "$(which_launcher "$app/Tavrin-2.0.exe")|$(leftovers "$app")"

# The updater ended at each step of its installation in turn (the test's hook): the launcher's
# file is there, old or new, whichever the step; the next start (the launcher while it is the
# old one, else the next updater) finishes or undoes the work and the update goes in whole.
staged=$work/staged-each
mkdir -p "$staged"
cp "$new_launcher" "$staged/tavrin.exe"
cp "$root/tools/demo-site/update-src/whats-new.txt" "$staged/"
app=$work/app-each
hand_over="$(win_path "$app/tavrin.exe")*$(win_path "$staged")\\*tavrin"
states="" broken="" recovered=0
for step in $(seq 1 30); do
  install_copy "$app"
  TAVRIN_TEST_STOP_INSTALL_AT=$step wine "$updater" "$hand_over" > /dev/null 2>&1
  [ $? = 9 ] || break  # it ran to its end before reaching this step
  state=$(which_launcher "$app/tavrin.exe")
  states="$states $step:$state"
  at=$(mark)
  if [ "$state" = old ]; then
    timeout 120 wine "$app/tavrin.exe" --stand-in-engine > /dev/null 2>&1
  else
    wine "$updater" "$hand_over" > /dev/null 2>&1
  fi
  logged_since "$at" "tavrin-update: started the new launcher $(win_path "$app/tavrin.exe")" 60 && sleep 1
  logged_since "$at" "left unfinished in $(win_path "$app")\\ was" 1 && recovered=$((recovered + 1))
  [ "$(which_launcher "$app/tavrin.exe")|$(leftovers "$app")|$([ -f "$app/whats-new.txt" ] && echo in)" = "new|0|in" ] ||
    broken="$broken $step"
done
echo "killed: the launcher's file after each step:$states"
check "killed: never without the launcher's file" "" "$(echo "$states" | grep -o '[0-9]*:broken')"
check "killed: both the old and the new launcher seen" "yes yes" \
  "$(echo "$states" | grep -q ':old' && echo yes) $(echo "$states" | grep -q ':new' && echo yes)"
check "killed: each finished or undone at the next start" "$(echo $states | wc -w)" "$recovered"
check "killed: the update in whole after each" "" "$broken"

# A launcher that lives on after handing over (until it is ended): the updater holds the
# locks while it waits, and a launcher started then says that an update is in progress.
slow=$work/slow
mkdir -p "$slow" "$work/staged"
cp "$new_launcher" "$slow/tavrin.exe"
cp "$new_launcher" "$work/staged/tavrin.exe"
echo "staged" >> "$work/staged/tavrin.exe"
at=$(mark)
wine "$slow/tavrin.exe" --hand-over 120 "$(win_path "$updater")" \
  "$(win_path "$slow/tavrin.exe")*$(win_path "$work/staged")\\*tavrin" > /dev/null 2>&1 &
parent=$!
logged_since "$at" "tavrin-update: took the data folder's locks" 30
check "in progress: the updater holds the locks" 0 $?
install_copy "$work/app3"
wine "$work/app3/tavrin.exe" --stand-in-engine > /dev/null 2>&1 &
second=$!
logged_since "$at" "another copy of the launcher is updating" 60
check "in progress: a second launcher says so" 0 $?
kill $second 2>/dev/null
check "in progress: the running launcher is not replaced" same "$(same "$slow/tavrin.exe" "$new_launcher")"
kill $parent 2>/dev/null
updater_ended "tavrin-update: started the new launcher $(win_path "$slow/tavrin.exe")"
check "in progress: replaced once its launcher ended" same "$(same "$slow/tavrin.exe" "$work/staged/tavrin.exe")"

# A launcher busy downloading an update (slowly, here) holds the data folder's locks: an
# updater started by hand waits for it, a second launcher keeps out (it says that an update is
# in progress), and once the launcher has been ended the updater goes ahead.
touch "$work/site/slow-updates"
install_copy "$work/app-holds"
install_copy "$work/app-second"
install_copy "$work/by-hand"
rm -rf "$data"
at=$(mark)
wine "$work/app-holds/tavrin.exe" --stand-in-engine > /dev/null 2>&1 &
holder=$!
for _ in $(seq 300); do [ -n "$(ls "$data/downZip" 2>/dev/null)" ] && break; sleep 0.1; done
wine "$updater" "$(win_path "$work/by-hand/tavrin.exe")*$(win_path "$staged")\\*tavrin" > /dev/null 2>&1 &
by_hand=$!
logged_since "$at" "updating $(win_path "$work/by-hand/tavrin.exe")" 30
wine "$work/app-second/tavrin.exe" --stand-in-engine > /dev/null 2>&1 &
second=$!
logged_since "$at" "another copy of the launcher is updating" 60
check "held: a second launcher keeps out" 0 $?
sleep 2  # time enough for an updater that would not wait to have gone ahead
check "held: the updater started by hand waits" "waiting|old" \
  "$(kill -0 $by_hand 2>/dev/null && ! tr -d '\r' < "$log" | tail -n +$((at + 1)) | grep -q "took the data folder's locks" && echo waiting)|$(which_launcher "$work/by-hand/tavrin.exe")"
kill $second $holder 2>/dev/null
pkill -f 'app-(holds|second).tavrin\.exe'
logged_since "$at" "tavrin-update: started the new launcher $(win_path "$work/by-hand/tavrin.exe")" 60
check "held: and goes ahead once the launcher has ended" 0 $?
rm -f "$work/site/slow-updates"

finish
