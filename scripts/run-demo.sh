#!/usr/bin/env bash
# Sets everything up, serves the demo operator service on 127.0.0.1, points the launcher's
# config.ini at it and starts the launcher.
#
# With a display the launcher runs until you quit it. Without one (a server, CI) it runs on
# a virtual display for a bounded time, plays the login road (login page, then entering the
# game), saves screenshots of what a player would have seen, and exits.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" demo

. "$root/tools/demo-site/start-background.sh" "$root/build/demo-run"
origin=$demo_origin
echo "Demo operator service: $origin"

bin="$root/build/native/src"
# The service signs its update description with a key made for this run; the launcher gets
# the public key as an operator would give it, so a demo update is a signed one.
printf '[config]\r\nplatform=1\r\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\r\nupdateKey=%s\r\n' \
  "$origin" "$(cat "$root/build/demo-run/site/update-key.pub")" > "$bin/config.ini"
echo "Wrote $bin/config.ini"
# The browser engine refuses to run as root with its sandbox on.
[ "$(id -u)" != 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1

launcher_version=$(sed -n 's/^project(tavrin VERSION \([0-9]*\).*/\1/p' "$root/CMakeLists.txt")
if [ "${DEMO_UPDATE_VERSION:-$launcher_version}" -gt "$launcher_version" ]; then
  # The service offers a newer launcher: a player's copy of the launcher (in its own folder,
  # which the update rewrites) hands over to tavrin-update and ends without a window; the
  # updater puts the demo's new launcher in its place and starts it. With a display that new
  # launcher marks the update as done (the service offers this version again) and goes on as
  # the built launcher, which shows its login window.
  player="$root/build/demo-run/player-copy"
  rm -rf "$player" && mkdir -p "$player"
  cp "$bin/tavrin" "$bin/config.ini" "$player/"
  [ ! -d "$bin/ruffle" ] || cp -r "$bin/ruffle" "$player/"
  export TAVRIN_DEMO_UPDATE_LOG="$root/build/demo-run/new-launcher.log"
  rm -f "$TAVRIN_DEMO_UPDATE_LOG"
  log="${XDG_STATE_HOME:-$HOME/.local/state}/tavrin.log"
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export TAVRIN_DEMO_LAUNCHER="$bin/tavrin" TAVRIN_DEMO_SITE_WWW="$root/build/demo-run/site/www"
    "$player/tavrin"
    echo "The launcher handed over (status $?); tavrin-update installs the new one and starts it."
  else
    # No window is expected; should the update fail, the login window would wait for a
    # player, so the run is bounded.
    timeout 60 env QT_QPA_PLATFORM=offscreen "$player/tavrin"
    echo "The launcher ended (status $?)."
  fi
  for _ in $(seq 100); do [ -s "$TAVRIN_DEMO_UPDATE_LOG" ] && break; sleep 0.1; done
  echo "What tavrin-update did ($log):"
  grep 'tavrin-update' "$log" | tail -n 6
  cat "$TAVRIN_DEMO_UPDATE_LOG" 2>/dev/null
  echo "The player's copy, updated: $player"
  ls -l "$player"
  # The demo service stays up while the started launcher runs.
  while pgrep -f "^$bin/tavrin" >/dev/null; do sleep 1; done
  exit 0
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  "$bin/tavrin"
  exit $?
fi

shots="$root/build/demo-screenshots"
echo "No display: running the demo on a virtual one; screenshots go to $shots"
xvfb-run -a -s "-screen 0 1280x800x24" "$root/scripts/demo-headless.sh" "$bin/tavrin" "$shots"
