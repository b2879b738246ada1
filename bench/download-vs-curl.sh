#!/usr/bin/env bash
# tavrin-tool download against curl -o: the same file from the same nginx on loopback,
# alternating runs. Prints each one's median time and peak memory, and the ratio. With https,
# nginx serves the file over TLS with a certificate made for the run, which both trust.
# Usage: bench/download-vs-curl.sh [RUNS] [SIZE_MIB] [http|https]
. "$(dirname "$0")/common.sh"
runs=${1:-5}
size=${2:-256}
scheme=${3:-http}
tool=$(bench_program src/tavrin-tool)
bench_work bench-download
bench_demo
head -c "$((size * 1024 * 1024))" /dev/urandom > "$work/site/www/big.bin"
url="$demo_origin/big.bin"
tool_opts=() curl_opts=()
if [ "$scheme" = https ]; then
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 1 -subj /CN=bench \
    -addext subjectAltName=IP:127.0.0.1 -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat > "$work/tls.conf" <<CONF
daemon off; master_process off; pid $work/tls.pid; error_log $work/tls-error.log;
events {}
http { access_log off; client_body_temp_path $work; proxy_temp_path $work; fastcgi_temp_path $work;
  uwsgi_temp_path $work; scgi_temp_path $work;
  server { listen 127.0.0.1:$port ssl; ssl_certificate $work/cert.pem;
           ssl_certificate_key $work/key.pem; root $work/site/www; } }
CONF
  "$(command -v nginx || echo /usr/sbin/nginx)" -p "$work" -c "$work/tls.conf" &
  tls_pid=$!
  trap 'kill $tls_pid $demo_pid 2>/dev/null; wait 2>/dev/null' EXIT
  for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.05; done
  url="https://127.0.0.1:$port/big.bin"
  tool_opts=(--cacert "$work/cert.pem") curl_opts=(--cacert "$work/cert.pem")
fi

# Seconds and peak resident KiB of one command, from GNU time.
measure() { # name command...
  local name=$1; shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null 2>&1
  read -r seconds kib < "$work/time"
  echo "$name $seconds $kib" >> "$work/results"
  rm -f "$work/out.bin"
}
: > "$work/results"
for _ in $(seq "$runs"); do
  measure tavrin "$tool" download "${tool_opts[@]}" "$url" "$work/out.bin"
  measure curl curl -s "${curl_opts[@]}" -o "$work/out.bin" "$url"
done

ours=$(awk '$1=="tavrin"{print $2}' "$work/results" | median)
theirs=$(awk '$1=="curl"{print $2}' "$work/results" | median)
ours_kib=$(awk '$1=="tavrin"{print $3}' "$work/results" | median)
theirs_kib=$(awk '$1=="curl"{print $3}' "$work/results" | median)
echo "| file | runs | scheme | tavrin-tool | curl | ratio curl/ours | peak memory tavrin-tool | peak memory curl |"
echo "|---|---|---|---|---|---|---|---|"
printf '| %s MiB | %s | %s | %s s | %s s | %.2f | %s KiB | %s KiB |\n' "$size" "$runs" "$scheme" \
  "$ours" "$theirs" \
  "$(echo "$theirs / $ours" | bc -l)" "$ours_kib" "$theirs_kib"
