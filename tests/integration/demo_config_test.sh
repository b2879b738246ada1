#!/usr/bin/env bash
# tavrin-tool config against the real demo operator service (nginx on a random loopback
# port): the eight decoded values, and a clear failure when nothing answers.
# Usage: demo_config_test.sh TAVRIN_TOOL
set -euo pipefail
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

. "$root/tools/demo-site/start-background.sh" "$work"
origin=$demo_origin
server=$demo_pid
trap cleanup EXIT

printf '[config]\r\nplatform=12\r\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\r\n' "$origin" > "$work/config.ini"
out=$("$tool" config --ini "$work/config.ini")
expected="officialUrl=$origin/site/index.html
rechargeUrl=$origin/site/recharge.html?from=launcher&step=1
bbsUrl=$origin/site/forum.html
svrUrl=$origin/site/service.html
minMainPage=$origin/login/index.html
szVerify=/game/verify
updateUrl=$origin/update/update.ini?t=
AdobeFlashUrl=$origin/site/flash.html"
check "eight decoded values" "$expected" "$out"
check "platform number in the request" "1" \
  "$(grep -c 'GET /rzt/?c=index&a=micnf&yid=12 ' "$work/site/access.log")"

# A page that is no configuration document: fetched, but unusable (exit status 3).
set +e
"$tool" config --ini "$work/config.ini" --client "$origin/site/index.html" >/dev/null 2>"$work/err"
check "unusable document exit status" "3" "$?"

# Nothing listening: exit status 1 and a message that names the address.
kill "$server"; wait "$server" 2>/dev/null; server=""
"$tool" config --ini "$work/config.ini" > "$work/out" 2> "$work/err"
check "unreachable exit status" "1" "$?"
check "unreachable prints nothing" "" "$(cat "$work/out")"
check "unreachable message" "1" "$(grep -c "cannot fetch $origin/rzt/" "$work/err")"
set -e

finish
