#!/usr/bin/env bash
# The self-update on Linux against the demo operator service, through the real launcher: a
# newer version is handed over to tavrin-update, which installs it and starts it; a package
# that fails part-way leaves the old launcher, which the updater starts again and which leaves
# the failed version alone; an updater ended mid-way is undone by the next start; launchers the
# updater could not take over from, or in a read-only folder, keep their version and go on; a
# launcher started while the updater works says an update is in progress. Usage: self_update_test.sh TAVRIN TAVRIN_UPDATE TAVRIN_TOOL
set -uo pipefail
launcher=$(readlink -f "$1")
updater=$(readlink -f "$2")
export TAVRIN_TOOL
TAVRIN_TOOL=$(readlink -f "$3")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
. "$(dirname "$0")/check.sh"
new_launcher=$root/tools/demo-site/update-src/new-launcher

# Everything the launchers keep lands under $work; the browser engine runs as root only
# without its sandbox.
export XDG_DATA_HOME=$work/data XDG_STATE_HOME=$work/state XDG_RUNTIME_DIR=$work/run
mkdir -p -m 700 "$work/run"
# No window comes before the hand-over: no display either, wherever the test runs (Qt's
# offscreen platform would open one for its GL, whose libraries keep memory to the end).
export QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
[ "$(id -u)" != 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
export DEMO_UPDATER=$updater TAVRIN_DEMO_UPDATE_LOG=$work/new-launcher.log
own=$("$launcher" --version | sed -n 's/^tavrin \([0-9]*\)\..*/\1/p')
export DEMO_UPDATE_VERSION=$((own + 1))
# The signed update moves players to another address of the service's.
export DEMO_UPDATE_CONFIG=$work/moved-config.ini
printf '[config]\nconfigUrl=@ORIGIN@/rzt/?c=index&a=micnf&yid=moved\nsomething=else\n' > "$DEMO_UPDATE_CONFIG"
. "$root/tools/demo-site/start-background.sh" "$work"
trap 'kill $demo_pid 2>/dev/null; wait $demo_pid 2>/dev/null; rm -rf "$work"' EXIT
log=$work/state/tavrin.log

# install_copy FOLDER: a player's copy of the launcher, with the operator's config.ini and a
# file of the player's.
install_copy() {
  rm -rf "$1" && mkdir -p "$1" && cp "$launcher" "$1/tavrin"
  printf '[config]\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\nupdateKey=%s\n' "$demo_origin" \
    "$(cat "$work/site/update-key.pub")" > "$1/config.ini"
  echo "the player's" > "$1/saved.txt"
}
wait_for() { # FILE PATTERN SECONDS
  for _ in $(seq $(($3 * 10))); do grep -qsF -- "$2" "$1" && return 0; sleep 0.1; done
  return 1
}
updater_ended() {
  for _ in $(seq 300); do pgrep -f "$work/data/tavrin/Update/update" >/dev/null || return 0; sleep 0.1; done
  return 1
}
same() { cmp -s "$1" "$2" && echo same || echo differs; }
leftovers() { find "$1" -name '*.tavrin-*' | wc -l; }
lock_free() { flock -n "$work/run/tavrin-locks/$1.lock" true && echo free || echo held; }

# A newer version: installed, kept what it should, moved the service's address, started.
app=$work/app
install_copy "$app"
cp "$app/config.ini" "$work/config.before"
started=$(date +%s%N)
timeout 60 "$app/tavrin" > "$work/launcher.out" 2>&1
check "update: the launcher ends after handing over" 0 $?
wait_for "$TAVRIN_DEMO_UPDATE_LOG" "new launcher started: $app/tavrin;" 30
check "update: the new launcher started" 0 $?
echo "update: from the launcher's start to the new launcher's: $((($(date +%s%N) - started) / 1000000)) ms"
updater_ended
check "update: the updater ended" 0 $?
check "update: the new launcher is in place" same "$(same "$app/tavrin" "$new_launcher")"
check "update: the package's other file came with it" yes "$([ -f "$app/whats-new.txt" ] && echo yes)"
moved=$(sed "s|^configUrl=.*|configUrl=$demo_origin/rzt/?c=index\\&a=micnf\\&yid=moved|" "$work/config.before")
check "update: config.ini took the moved address and kept the rest" "$moved" "$(cat "$app/config.ini")"
check "update: the launcher said so" 1 "$(grep -c "the update moves configUrl to $demo_origin/rzt/" "$log")"
check "update: the player's file kept" "the player's" "$(cat "$app/saved.txt")"
check "update: nothing left beside" 0 "$(leftovers "$app")"
check "update: the new launcher had the locks" 1 "$(grep -c "$app/tavrin; handed-on locks: [0-9]" "$TAVRIN_DEMO_UPDATE_LOG")"
check "update: logged" 1 "$(grep -c 'tavrin-update: installed 3 files: config.ini, tavrin, whats-new.txt' "$log")"
check "update: the locks end with their holders" "free free" "$(lock_free tavrin_Update) $(lock_free tavrin_Updating)"

# A package that fails part-way (a folder stands where its second file goes): the launcher
# replaced first gets its old file back.
app=$work/app2
install_copy "$app"
mkdir -p "$app/whats-new.txt/mine"
timeout 60 "$app/tavrin" > "$work/launcher.out" 2>&1
wait_for "$log" "the launcher in $app/ was not updated" 30
check "part-way: refused" 0 $?
updater_ended
check "part-way: rolled back" 1 "$(grep -c "$app/ was not updated: a folder stands where the file goes: whats-new.txt; the files replaced so far have their old ones back" "$log")"
check "part-way: the old launcher is in place" same "$(same "$app/tavrin" "$launcher")"
check "part-way: config.ini as it was" same "$(same "$app/config.ini" "$work/config.before")"
# The player gets the game back: the failed version is recorded and the old launcher, started
# again by the updater, leaves it alone and shows its login window.
check "part-way: the failed version recorded" "$DEMO_UPDATE_VERSION" \
  "$(sed -n 's/^version=//p' "$work/state/tavrin.update-failed" | tr -d '\r')"
wait_for "$log" "tavrin-update: started the old launcher $app/tavrin again" 30
check "part-way: the old launcher started again" 0 $?
wait_for "$log" "version $DEMO_UPDATE_VERSION failed to install at" 60
check "part-way: which leaves the failed version alone" 0 $?
wait_for "$log" "tavrin: login window shown" 60
check "part-way: and shows its login window" 0 $?
pkill -f "^$app/tavrin" ; sleep 1
check "part-way: and runs" "tavrin $own" "$("$app/tavrin" --version | cut -d. -f1)"
rm -f "$work/state/tavrin.update-failed"
check "part-way: nothing left beside" 0 "$(leftovers "$app")"
check "part-way: the player's folder untouched" yes "$([ -d "$app/whats-new.txt/mine" ] && echo yes)"

# The updater ended at each step in turn: the launcher's file is there, old or new, whichever
# the step; the next start (the launcher while it is the old one, else the next updater)
# finishes or undoes the work, and the update goes in whole.
staged=$work/staged-each
mkdir -p "$staged"
cp "$new_launcher" "$staged/tavrin"
cp "$root/tools/demo-site/update-src/whats-new.txt" "$staged/"
app=$work/app-each
states="" broken=""
for step in $(seq 1 30); do
  install_copy "$app"
  TAVRIN_TEST_STOP_INSTALL_AT=$step "$updater" "$app/tavrin*$staged/*tavrin" > /dev/null 2>&1
  [ $? = 9 ] || break  # it ran to its end before reaching this step
  if same "$app/tavrin" "$launcher" | grep -q same; then state=old
  elif same "$app/tavrin" "$new_launcher" | grep -q same; then state=new; else state=broken; fi
  states="$states $step:$state"
  at=$(wc -l < "$log")
  if [ $state = old ]; then timeout 60 "$app/tavrin" > /dev/null 2>&1; else "$updater" "$app/tavrin*$staged/*tavrin" > /dev/null 2>&1; fi
  for _ in $(seq 300); do tail -n +$((at + 1)) "$log" | grep -qF "started the new launcher $app/tavrin" && break; sleep 0.1; done
  updater_ended
  [ "$(same "$app/tavrin" "$new_launcher")|$(leftovers "$app")|$(tail -n +$((at + 1)) "$log" | grep -c "left unfinished in $app/ was")" = "same|0|1" ] ||
    broken="$broken $step"
done
echo "killed: the launcher's file after each step:$states"
check "killed at each step: never without the launcher's file" "" "$(echo "$states" | grep -o '[0-9]*:broken')"
check "killed at each step: both the old and the new launcher seen" "yes yes" \
  "$(echo "$states" | grep -q ':old' && echo yes) $(echo "$states" | grep -q ':new' && echo yes)"
check "killed at each step: finished or undone by the next start, and in whole" "" "$broken"

# Launchers the updater could not take over from (a name with a dot: the base name drops what
# follows it; a path with the separator of the hand-over in it), and one in a folder nobody
# may write (a read-only mount: root writes anywhere else): each leaves the update alone, says
# why, and shows its login window.
ro_mount() { unshare -m bash -c 'mount --bind "$1" "$1" && mount -o remount,ro,bind "$1" && shift && exec "$@"' _ "$@"; }
for program in "$work/app-dot/tavrin.bin" "$work/app*star/tavrin" "$work/app-ro/tavrin"; do
  app=$(dirname "$program")
  install_copy "$app"
  [ "$program" = "$app/tavrin" ] || mv "$app/tavrin" "$program"
  at=$(wc -l < "$log")
  case $app in
    */app-ro)
      if ! unshare -m true 2>/dev/null; then
        echo "read-only: skipped: this machine makes no mount namespace (unshare -m)"
        continue
      fi
      ro_mount "$app" "$program" > /dev/null 2>&1 &
      why="$app/ is read-only (installed for the whole system): no self-update" ;;
    *) "$program" > /dev/null 2>&1 &
      why="refused: the updater could not take over from this launcher" ;;
  esac
  running=$!
  for _ in $(seq 600); do tail -n +$((at + 1)) "$log" | grep -qF "tavrin: login window shown" && break; sleep 0.1; done
  check "$(basename "$app"): says why it keeps its version" 1 "$(tail -n +$((at + 1)) "$log" | grep -cF -- "$why")"
  check "$(basename "$app"): shows its login window" 1 "$(tail -n +$((at + 1)) "$log" | grep -c "tavrin: login window shown")"
  kill $running; wait $running 2>/dev/null
  check "$(basename "$app"): keeps its version" same "$(same "$program" "$launcher")"
done

# While the updater waits for its launcher to end (a stand-in that lives until told to end)
# it holds the data folder's locks: a launcher started then says that an update is in
# progress, and ends (after its message, which nobody answers here).
slow=$work/slow
mkdir -p "$slow" "$work/staged"
cp "$(command -v bash)" "$slow/tavrin"
cp "$new_launcher" "$work/staged/tavrin"
at=$(wc -l < "$log")
"$slow/tavrin" -c '"$0" "$1" & while [ ! -e "$2" ]; do sleep 0.1; done' \
  "$updater" "$slow/tavrin*$work/staged/*tavrin" "$work/end-launcher" &
parent=$!
for _ in $(seq 100); do tail -n +$((at + 1)) "$log" | grep -qF "tavrin-update: took the data folder's locks" && break; sleep 0.1; done
check "in progress: the updater holds the locks" "held held" "$(lock_free tavrin_Update) $(lock_free tavrin_Updating)"
install_copy "$work/app3"
"$work/app3/tavrin" > "$work/second.out" 2>&1 &
second=$!
wait_for "$work/second.out" "another copy of the launcher is updating" 30
check "in progress: a second launcher says so" 0 $?
kill $second 2>/dev/null
check "in progress: the running launcher is not replaced" same "$(same "$slow/tavrin" "$(command -v bash)")"
touch "$work/end-launcher"
wait $parent
wait_for "$log" "tavrin-update: started the new launcher $slow/tavrin" 30
check "in progress: replaced once its launcher ended" same "$(same "$slow/tavrin" "$new_launcher")"

finish
