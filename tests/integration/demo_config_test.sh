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

# The verification address with the session the login form starts, as a cookie and from the
# cookies.txt curl keeps: the game is open and every attribute is there, sockets included.
curl -s -o /dev/null -c "$work/jar" "$origin/login/enter?server=1"
session=$(awk '$6 == "tavrin_session" {print $7}' "$work/jar")
verify="$origin/game/verify?server=1"
set +e
"$tool" config --client "$verify" --check > "$work/closed" 2> "$work/err"
check "without a session --check says the game cannot be entered" "4" "$?"
check "without a session isOpen=0" "isOpen=0" "$(grep '^isOpen=' "$work/closed")"
set -e
"$tool" config --client "$verify" --cookie "tavrin_session=$session" --check > "$work/open"
check "with the session cookie isOpen=1" "isOpen=1" "$(grep '^isOpen=' "$work/open")"
check "sockets are printed" "1" "$(grep -c '^sockets=' "$work/open")"
# A document naming game servers, at the service's address and at another name of it
# (another site, as far as the launcher can tell): from the operator's site the well-formed
# entries are used; from elsewhere none, each said with why.
printf '<config><clientConfig mainFlash="x.swf" isOpen="1" sockets="127.0.0.1:5000,[::1]:5001,bad:0"/></config>' \
  > "$work/site/www/game/listed.xml"
"$tool" config --ini "$work/config.ini" --client "$origin/game/listed.xml" > "$work/own"
check "from the operator's site" "sockets=127.0.0.1:5000,[::1]:5001|socketsDropped=bad:0 (not host:port with a port from 1 to 65535)" \
  "$(grep '^sockets' "$work/own" | paste -sd '|')"
"$tool" config --ini "$work/config.ini" --client "${origin/127.0.0.1/localhost}/game/listed.xml" > "$work/foreign"
check "from elsewhere" "sockets=|2" \
  "$(grep '^sockets=' "$work/foreign")|$(grep -c "^socketsDropped=.* (the document is not from the operator's site 127.0.0.1)" "$work/foreign")"
"$tool" config --client "$verify" --cookie-file "$work/jar" --check > "$work/open2"
check "with the cookie file: the same" "$(cat "$work/open")" "$(cat "$work/open2")"

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
