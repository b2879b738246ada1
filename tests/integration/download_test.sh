#!/usr/bin/env bash
# tavrin-tool download against nginx serving the demo operator: files arrive whole, carry
# the server's modification time, a body cut short continues with a range request, and a
# missing file is exit status 4.
# Usage: download_test.sh TAVRIN_TOOL
set -uo pipefail
tool=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/check.sh"

. "$root/tools/demo-site/start-background.sh" "$work"
www="$work/site/www"
head -c 20000000 /dev/urandom > "$www/big.bin"
touch -d '2024-03-05 06:07:08 UTC' "$www/big.bin"

"$tool" download "$demo_origin/game/demo.swf" "$work/got/demo.swf"
check "small file exit status" 0 $?
check "small file bytes" "$(sha256sum < "$www/game/demo.swf")" "$(sha256sum < "$work/got/demo.swf")"

"$tool" download --progress --retry-mode 1 --max-retries 2 "$demo_origin/big.bin" "$work/got/big.bin" 2> "$work/progress"
check "large file exit status" 0 $?
check "large file bytes" "$(sha256sum < "$www/big.bin")" "$(sha256sum < "$work/got/big.bin")"
check "modification time from Last-Modified" "$(stat -c %Y "$www/big.bin")" "$(stat -c %Y "$work/got/big.bin")"
check "progress shown" 1 "$(grep -c '20000000 of 20000000 bytes (100%)  [0-9.]* MiB/s' "$work/progress")"
"$tool" download --silent "$demo_origin/big.bin" "$work/got/quiet.bin" 2> "$work/quiet"
check "no progress off a terminal or with --silent" "" "$(cat "$work/quiet")"

# A connection that breaks inside the body: the next attempt asks nginx for the rest only.
python3 "$(dirname "$0")/cutting_relay.py" "${demo_origin##*:}" 8000000 "$work/relay.log" \
  > "$work/relay.port" &
relay_pid=$!
for _ in $(seq 300); do [ -s "$work/relay.port" ] && break; sleep 0.1; done
"$tool" download --retry-mode 1 --max-retries 1 "http://127.0.0.1:$(cat "$work/relay.port")/big.bin" \
  "$work/got/resumed.bin"
check "resumed download exit status" 0 $?
check "resumed download bytes" "$(sha256sum < "$www/big.bin")" "$(sha256sum < "$work/got/resumed.bin")"
check "the rest asked for by range" 1 "$(grep -c '^Range: bytes=[1-9][0-9]*-' "$work/relay.log")"
check "only the rest sent again" 1 "$(grep -c '^If-Range: "' "$work/relay.log")"
kill "$relay_pid" 2>/dev/null

# A server that trickles its header a byte at a time: --max-time ends the download on time.
python3 -c '
import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(1)
print(s.getsockname()[1], flush=True)
c, _ = s.accept()
for b in b"HTTP/1.1 200 OK\r\nX-Slow: " + b"a" * 100:
    c.send(bytes([b])); time.sleep(0.3)
' > "$work/trickle.port" &
trickle_pid=$!
for _ in $(seq 300); do [ -s "$work/trickle.port" ] && break; sleep 0.1; done
started=$(date +%s%N)
"$tool" download --max-time 1s --recv-timeout 10s "http://127.0.0.1:$(cat "$work/trickle.port")/f" \
  "$work/got/trickled" 2>/dev/null
status=$?
took_ms=$(( ($(date +%s%N) - started) / 1000000 ))
check "a trickling server fails the download" 3 "$status"
check "--max-time ends it on time" 1 "$(( took_ms < 2000 ))"
kill "$trickle_pid" 2>/dev/null

"$tool" download "$demo_origin/no/such/file" "$work/got/none" 2>/dev/null
check "missing file exit status" 4 $?
check "nothing written for a missing file" "" "$(ls "$work/got" | grep none)"

"$tool" download --retry-mode 7 "$demo_origin/big.bin" "$work/got/x" 2>/dev/null
check "bad option value exit status" 2 $?
"$tool" download --connect-timeout 0s "$demo_origin/big.bin" "$work/got/x" 2>/dev/null
check "a time-out of nothing is refused" 2 $?
"$tool" download --connect-timeout 5s --recv-timeout 1m "$demo_origin/game/demo.swf" "$work/got/units.swf"
check "time-outs with their unit" 0 $?
"$tool" download --help > "$work/help"
check "download --help exit status" 0 $?
check "download --help names the options" 1 "$(grep -c -- '--password-file FILE' "$work/help")"
check "download --help keeps to its command" 0 "$(grep -c -- 'sign an update description' "$work/help")"
check "download --help names the exit statuses" 1 "$(grep -c -- '4  not found' "$work/help")"

finish
