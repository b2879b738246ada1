#!/usr/bin/env bash
# tavrin-tool download through real proxies to nginx: dante (SOCKS 4, 4a and 5) and
# microsocks (SOCKS 5 with user name and password), each on a random loopback port.
# Usage: proxies_test.sh TAVRIN_TOOL
set -uo pipefail
tool=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
. "$(dirname "$0")/check.sh"
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_port() { for _ in $(seq 300); do (exec 3<>/dev/tcp/127.0.0.1/"$1") 2>/dev/null && return 0; sleep 0.1; done; return 1; }

. "$root/tools/demo-site/start-background.sh" "$work"
pids+=("$demo_pid")
trap cleanup EXIT
head -c 3000000 /dev/urandom > "$work/site/www/file.bin"
want=$(sha256sum < "$work/site/www/file.bin")
target="${demo_origin#http://}"

dante_port=$(free_port)
cat > "$work/danted.conf" <<CONF
logoutput: $work/danted.log
internal: 127.0.0.1 port = $dante_port
external: 127.0.0.1
socksmethod: none
clientmethod: none
user.privileged: root
user.unprivileged: nobody
client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }
socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 protocol: tcp }
CONF
danted_bin=$(command -v danted || echo /usr/sbin/danted)
"$danted_bin" -f "$work/danted.conf" -p "$work/danted.pid" -N 1 &
pids+=($!)
micro_port=$(free_port)
microsocks -i 127.0.0.1 -p "$micro_port" -u tavrin -P s3cret > "$work/microsocks.log" 2>&1 &
pids+=($!)
wait_port "$dante_port" || echo "dante did not start: $(cat "$work/danted.log" 2>/dev/null)"
wait_port "$micro_port" || echo "microsocks did not start"

for type in socks4 socks4a socks5; do
  rm -f "$work/got.bin"
  "$tool" download --proxy-type "$type" --proxy "127.0.0.1:$dante_port" \
    "http://$target/file.bin" "$work/got.bin" 2> "$work/err"
  check "dante $type exit status" 0 $?
  check "dante $type bytes" "$want" "$(sha256sum < "$work/got.bin" 2>/dev/null)"
done

rm -f "$work/got.bin"
"$tool" download --proxy-type socks5 --proxy "127.0.0.1:$micro_port" --proxy-user tavrin \
  --proxy-password s3cret "http://$target/file.bin" "$work/got.bin" 2> "$work/err"
check "microsocks with credentials exit status" 0 $?
check "microsocks with credentials bytes" "$want" "$(sha256sum < "$work/got.bin" 2>/dev/null)"

# The password kept off the command line: from a file (CRLF ending) or the environment.
rm -f "$work/got.bin"
printf 's3cret\r\n' > "$work/password"
"$tool" download --proxy-type socks5 --proxy "127.0.0.1:$micro_port" --proxy-user tavrin \
  --proxy-password-file "$work/password" "http://$target/file.bin" "$work/got.bin" 2> "$work/err"
check "microsocks with the password from a file" "$want" "$(sha256sum < "$work/got.bin" 2>/dev/null)"
TAVRIN_PROXY_PASSWORD=wrong "$tool" download --proxy-type socks5 --proxy "127.0.0.1:$micro_port" \
  --proxy-user tavrin --proxy-password-env TAVRIN_PROXY_PASSWORD "http://$target/file.bin" \
  "$work/bad.bin" 2> /dev/null
check "microsocks with a wrong password" 3 $?
"$tool" download --proxy-type socks5 --proxy "127.0.0.1:$micro_port" \
  "http://$target/file.bin" "$work/bad.bin" 2> /dev/null
check "microsocks without credentials" 3 $?

# Two processes finishing the same target at once: both succeed, the file is whole.
rm -f "$work/same.bin"
"$tool" download "http://$target/file.bin" "$work/same.bin" & first=$!
"$tool" download "http://$target/file.bin" "$work/same.bin" & second=$!
wait $first; a=$?
wait $second; b=$?
check "two processes, exit statuses" "0 0" "$a $b"
check "two processes, the target is whole" "$want" "$(sha256sum < "$work/same.bin")"
check "two processes, no temporary file left" "" "$(ls "$work" | grep 'same.bin.down')"

finish
