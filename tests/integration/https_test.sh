#!/usr/bin/env bash
# tavrin-tool download over https against nginx, with a CA the test makes with openssl:
# a good certificate downloads (by name and by address, and after a redirect from http), a
# wrong host name, an expired certificate or an unknown CA fail with exit status 3.
# Usage: https_test.sh TAVRIN_TOOL
set -uo pipefail
tool=$(realpath "$1")
work=$(mktemp -d)
nginx_pid=
trap '[ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null; rm -rf "$work"' EXIT
. "$(dirname "$0")/check.sh"
cd "$work"

# The CA, and server certificates signed by it; `openssl ca` can back-date one.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ca.key -out ca.pem \
  -subj "/CN=Tavrin Test CA" -days 2 -addext basicConstraints=critical,CA:TRUE \
  -addext keyUsage=critical,keyCertSign 2>/dev/null
mkdir db && touch db/index.txt && echo 01 > db/serial
cat > ca.cnf <<'CNF'
[ca]
default_ca = test
[test]
database = db/index.txt
new_certs_dir = db
serial = db/serial
default_md = sha256
policy = any
unique_subject = no
[any]
commonName = supplied
[good]
subjectAltName = DNS:localhost,IP:127.0.0.1
[wrong]
subjectAltName = DNS:wrong.example
CNF
issue() { # name extensions ca-dates...
  local name=$1 ext=$2; shift 2
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$name.key" \
    -out "$name.csr" -subj "/CN=$name" 2>/dev/null
  openssl ca -batch -config ca.cnf -cert ca.pem -keyfile ca.key -in "$name.csr" -out "$name.pem" \
    -extensions "$ext" "$@" 2>/dev/null
}
issue good good -days 2
issue wrong wrong -days 2
issue expired good -startdate 20200101000000Z -enddate 20200201000000Z

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
good=$(free_port); wrong=$(free_port); expired=$(free_port); plain=$(free_port)
mkdir -p www logs && head -c 3000000 /dev/urandom > www/pkg.bin
server() { # port certificate
  printf '  server {\n    listen 127.0.0.1:%s ssl;\n    ssl_certificate %s/%s.pem;\n    ssl_certificate_key %s/%s.key;\n    root %s/www;\n  }\n' \
    "$1" "$work" "$2" "$work" "$2" "$work"
}
{
  # One process, which keeps our user (no worker switching to nobody).
  printf 'daemon off;\nmaster_process off;\npid %s/nginx.pid;\nerror_log %s/logs/error.log;\n' "$work" "$work"
  printf 'events {}\nhttp {\n  access_log off;\n'
  for t in client_body proxy fastcgi uwsgi scgi; do printf '  %s_temp_path %s/logs;\n' "$t" "$work"; done
  server "$good" good; server "$wrong" wrong; server "$expired" expired
  printf '  server {\n    listen 127.0.0.1:%s;\n    return 302 https://localhost:%s$request_uri;\n  }\n}\n' "$plain" "$good"
} > nginx.conf
"$(command -v nginx || echo /usr/sbin/nginx)" -p "$work" -c "$work/nginx.conf" -e "$work/logs/error.log" &
nginx_pid=$!
for _ in $(seq 600); do
  (exec 3<>"/dev/tcp/127.0.0.1/$plain") 2>/dev/null && break
  sleep 0.05
done

sum() { sha256sum < "$1" | cut -d' ' -f1; }
want=$(sum www/pkg.bin)
for host in localhost 127.0.0.1; do
  "$tool" download --cacert ca.pem "https://$host:$good/pkg.bin" "got/$host.bin"
  check "trusted certificate by $host: exit status" 0 $?
  check "trusted certificate by $host: bytes" "$want" "$(sum "got/$host.bin")"
done

"$tool" download --cacert ca.pem "http://127.0.0.1:$plain/pkg.bin" got/redirected.bin
check "redirect from http to https: exit status" 0 $?
check "redirect from http to https: bytes" "$want" "$(sum got/redirected.bin)"

refused() { # name url [options]
  local name=$1 url=$2; shift 2
  "$tool" download --retry-mode 1 --max-retries 2 "$@" "$url" "got/refused.bin" 2> err.txt
  check "$name: exit status" 3 $?
  check "$name: no file" "no" "$([ -e got/refused.bin ] && echo yes || echo no)"
  check "$name: says why" 1 "$(grep -c 'TLS: ' err.txt)"
}
refused "wrong host name" "https://localhost:$wrong/pkg.bin" --cacert ca.pem
refused "expired certificate" "https://localhost:$expired/pkg.bin" --cacert ca.pem
refused "CA not among the system's roots" "https://localhost:$good/pkg.bin"
"$tool" download --cacert missing.pem "https://localhost:$good/pkg.bin" got/refused.bin 2>/dev/null
check "missing CA file: exit status" 3 $?

finish
