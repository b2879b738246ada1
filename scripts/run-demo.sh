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
  # The service offers a newer launcher: the launcher hands over to the demo updater and
  # ends without a window. With a display the updater starts the launcher again, which then
  # finds no newer version and shows its login window.
  export TAVRIN_DEMO_UPDATER_LOG="$root/build/demo-run/updater.log"
  export TAVRIN_DEMO_SITE_WWW="$root/build/demo-run/site/www"
  rm -f "$TAVRIN_DEMO_UPDATER_LOG"
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export TAVRIN_DEMO_RESTART=1
    "$bin/tavrin"
    echo "The launcher handed over (status $?); the demo updater starts it again."
    for _ in $(seq 50); do [ -s "$TAVRIN_DEMO_UPDATER_LOG" ] && break; sleep 0.1; done
    cat "$TAVRIN_DEMO_UPDATER_LOG"
    # The demo service stays up while the restarted launcher runs.
    while pgrep -f "^$bin/tavrin" >/dev/null; do sleep 1; done
    exit 0
  fi
  # No window is expected; should the update fail, the login window would wait for a player,
  # so the run is bounded.
  timeout 60 env QT_QPA_PLATFORM=offscreen "$bin/tavrin"
  echo "The launcher ended (status $?). What the demo updater received:"
  for _ in $(seq 50); do [ -s "$TAVRIN_DEMO_UPDATER_LOG" ] && break; sleep 0.1; done
  cat "$TAVRIN_DEMO_UPDATER_LOG"
  exit 0
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  "$bin/tavrin"
  exit $?
fi

shots="$root/build/demo-screenshots"
echo "No display: running the demo on a virtual one; screenshots go to $shots"
xvfb-run -a -s "-screen 0 1280x800x24" "$root/scripts/demo-headless.sh" "$bin/tavrin" "$shots"
