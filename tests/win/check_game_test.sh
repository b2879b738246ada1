#!/usr/bin/env bash
# tavrin.exe --check-game under Wine, on the engine double playing the player page's part,
# against the demo operator service: the same report as on Linux for the demo movie and its
# listed game server, a movie that is not there, and a program whose player files are
# missing; and the launcher's --help and --log-level as on Linux.
# Usage: check_game_test.sh TAVRIN_EXE ENGINE_DOUBLE_DLL RUFFLE_FOLDER
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
. "$root/tests/integration/check.sh"
. "$root/tools/demo-site/start-background.sh" "$work"
trap 'kill $demo_pid 2>/dev/null; wait $demo_pid 2>/dev/null; rm -rf "$work"' EXIT
game=$(cat "$work/site/game.port")
app=$work/app
mkdir -p "$app" && cp "$1" "$app/tavrin.exe" && cp "$2" "$app/WebView2Loader.dll" &&
  cp -r "$3" "$app/ruffle"
export TAVRIN_ENGINE_DOUBLE_PLAYS=1
value() { tr -d '\r' < "$work/out" | sed -n "s/^$1=//p" | paste -sd'|'; }
run() { timeout 120 wine "$app/tavrin.exe" --check-game "$@" >"$work/out" 2>>"$work/err"; }

run "$demo_origin/game/demo.swf" --seconds 1 --sockets "127.0.0.1:$game" \
  --screenshot "$(winepath -w "$work/demo.png" 2>/dev/null)"
check "demo: status" "0" "$?"
check "demo: what it is" "ActionScript 1/2|1000x600|1|1|ran" \
  "$(value script)|$(value stage)|$(value started)|$(value drew)|$(value result)"
check "demo: its call and its game server" "GetSysMem|127.0.0.1:$game connected (listed)" \
  "$(value externalInterface)|$(value socket)"
check "demo: the picture" "1" "$([ -s "$work/demo.png" ] && echo 1)"

run "$demo_origin/game/missing.swf" --seconds 1
check "a missing movie" "1|0|did not run: 游戏文件无法下载或无法播放。" \
  "$?|$(value started)|$(value result)"

rm "$app/ruffle/ruffle.js"
run "$demo_origin/game/demo.swf" --seconds 1
check "a missing player file" "1|did not run: Flash 播放器无法启动。" "$?|$(value result)"
timeout 60 wine "$app/tavrin.exe" --help >"$work/out" 2>&1
check "--help" "0|tavrin --check-game URL" "$?|$(grep -o 'tavrin --check-game URL' "$work/out")"
timeout 60 wine "$app/tavrin.exe" --log-level=loud --check-game "$demo_origin/game/demo.swf" \
  >"$work/out" 2>&1
check "a log level that is none" "2" "$?"
finish || { tail -20 "$work/err"; exit 1; }
