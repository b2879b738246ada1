#!/usr/bin/env bash
# tavrin --check-game against the demo operator service: the ActionScript 2 demo, the
# ActionScript 3 arena with its game server listed, allowed by its socket policy, and told to
# talk to a server without one (the demo's web server, which must never see the movie's
# bytes), and a movie that is not there. Needs a display, as every window test.
# Usage: check_game_test.sh TAVRIN
set -uo pipefail
tavrin=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$root/tests/integration/check.sh"
. "$root/tools/demo-site/start-background.sh" "$work"
trap 'kill $demo_pid 2>/dev/null; wait $demo_pid 2>/dev/null; rm -rf "$work"' EXIT
game=$(cat "$work/site/game.port")
[ "$(id -u)" != 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
value() { sed -n "s/^$1=//p" "$work/out" | paste -sd'|'; }

"$tavrin" --check-game "$demo_origin/game/demo.swf" --seconds 4 --flash-vars server=1 \
  --screenshot "$work/demo.png" >"$work/out" 2>"$work/err"
check "demo: status" "0" "$?"
check "demo: what it is" "ActionScript 1/2|1000x600|1|1|ran" \
  "$(value script)|$(value stage)|$(value started)|$(value drew)|$(value result)"
check "demo: it asked for the memory" "GetSysMem" "$(value externalInterface | cut -d'|' -f1)"
check "demo: the picture" "1" "$([ -s "$work/demo.png" ] && echo 1)"

"$tavrin" --check-game "$demo_origin/game/arena.swf" --seconds 5 \
  --flash-vars "player=t&chat=127.0.0.1:$game" --sockets "127.0.0.1:$game" >"$work/out" 2>>"$work/err"
check "arena: status" "0" "$?"
check "arena: what it is" "ActionScript 3|SWF 18, compression zlib" \
  "$(value script)|$(value format | sed 's/, [0-9]* bytes$//')"
check "arena: its game server" "127.0.0.1:$game connected (listed)" "$(value socket)"

"$tavrin" --check-game "$demo_origin/game/arena.swf" --seconds 5 \
  --flash-vars "player=t&chat=127.0.0.1:$game" >"$work/out" 2>>"$work/err"
check "arena without a list: by the server's policy" \
  "127.0.0.1:$game connected (allowed by the policy on 127.0.0.1:$game)" "$(value socket)"

web=${demo_origin##*:}
before=$(grep -c . "$work/site/access.log" 2>/dev/null || echo 0)
"$tavrin" --check-game "$demo_origin/game/arena.swf" --seconds 5 \
  --flash-vars "player=t&chat=127.0.0.1:$web" >"$work/out" 2>>"$work/err"
check "arena to a server without a policy" "127.0.0.1:$web refused" \
  "$(value socket | cut -d: -f1-2)"
check "that server was asked for its policy, and never saw the movie's bytes" "1|0" \
  "$(tail -n +"$((before + 1))" "$work/site/access.log" | grep -ac "policy-file-request")|$(
    tail -n +"$((before + 1))" "$work/site/access.log" | grep -ac "HELLO")"

"$tavrin" --check-game "$demo_origin/game/missing.swf" --seconds 5 >"$work/out" 2>>"$work/err"
check "a missing movie: status" "1" "$?"
check "a missing movie: why" "0|did not run: 游戏文件无法下载或无法播放。" \
  "$(value started)|$(value result)"

"$tavrin" --check-game file:///etc/passwd >/dev/null 2>&1
check "only web addresses" "2" "$?"
finish || { tail -20 "$work/err"; exit 1; }
