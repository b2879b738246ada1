#!/usr/bin/env bash
# tavrin-tool socket-policy against the demo operator's real game server, which answers the
# Flash player's policy request on its own port, and against a port where nothing listens.
# Usage: socket_policy_test.sh TAVRIN_TOOL
set -uo pipefail
tool=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
server=""
cleanup() {
  [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/check.sh"

python3 "$root/tools/demo-site/game_server.py" --port-file "$work/port" &
server=$!
for _ in $(seq 600); do [ -s "$work/port" ] && break; sleep 0.05; done
port=$(cat "$work/port")
# A port where nothing listens stands in for the master port 843, which a test cannot take.
dead=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
movie=http://127.0.0.1:8080/game/arena.swf

out=$("$tool" socket-policy --master-port "$dead" --movie "$movie" "127.0.0.1:$port")
check "allowed by the destination's policy: status" "0" "$?"
check "the master had none" "no answer" "$(sed -n 's/^master.status=//p' <<<"$out")"
check "the game server's grant" "* $port" "$(sed -n 's/^policy.grant=//p' <<<"$out")"
check "the decision and why" "allowed|allowed by the policy on 127.0.0.1:$port" \
  "$(sed -n 's/^decision=//p' <<<"$out")|$(sed -n 's/^reason=//p' <<<"$out")"

# The same server as the master: its answer settles it before the destination is asked.
out=$("$tool" socket-policy --master-port "$port" --movie "$movie" "127.0.0.1:$port")
check "allowed by the master: status" "0" "$?"
check "allowed by the master: why" "allowed by the policy on 127.0.0.1:$port" \
  "$(sed -n 's/^reason=//p' <<<"$out")"

# A movie served over https: the grant does not say secure="false".
out=$("$tool" socket-policy --master-port "$dead" --movie https://op.example/a.swf "127.0.0.1:$port")
check "https movie refused: status" "1" "$?"
check "https movie refused" "refused" "$(sed -n 's/^decision=//p' <<<"$out")"

# Nothing listens: no policy anywhere.
out=$("$tool" socket-policy --master-port "$dead" "127.0.0.1:$dead")
check "no server: status" "1" "$?"
check "no server: said" "no answer" "$(sed -n 's/^master.status=//p' <<<"$out")"

"$tool" socket-policy --movie "$movie" "127.0.0.1" >/dev/null 2>&1
check "an address without a port is a usage error" "2" "$?"
check "the game server still serves its players" "1" "$(kill -0 "$server" 2>/dev/null && echo 1)"
finish
