#!/usr/bin/env bash
# Sets everything up, starts the demo operator service on 127.0.0.1 and points the
# launcher's config.ini at it. The login window is not part of the launcher yet, so this
# shows what start-up fetches: the platform configuration, through tavrin-tool config.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

run="$root/build/demo-run"
mkdir -p "$run"
"$root/tools/demo-site/serve.sh" 0 "$run/site" > "$run/serve.out" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; wait $server 2>/dev/null || true' EXIT INT TERM
for _ in $(seq 100); do grep -q '^ready ' "$run/serve.out" && break; sleep 0.1; done
origin=$(sed -n 's/^ready //p' "$run/serve.out")
[ -n "$origin" ] || { cat "$run/serve.out" >&2; exit 1; }
echo "Demo operator service: $origin"

bin="$root/build/native/src"
printf '[config]\r\nplatform=1\r\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\r\n' "$origin" > "$bin/config.ini"
echo "Wrote $bin/config.ini"
echo
echo "Platform configuration as the launcher reads it (tavrin-tool config):"
"$bin/tavrin-tool" config
