#!/usr/bin/env bash
# tavrin-tool download against curl -o: the same file from the same nginx on loopback,
# alternating runs. Prints each one's median time and peak memory, and the ratio.
# Usage: bench/download-vs-curl.sh [RUNS] [SIZE_MIB]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
size=${2:-256}
tool="$root/build/native/src/tavrin-tool"
[ -x "$tool" ] || { echo "build first: cmake --build --preset native" >&2; exit 1; }
work="$root/build/bench-download"
rm -rf "$work"
. "$root/tools/demo-site/start-background.sh" "$work"
head -c "$((size * 1024 * 1024))" /dev/urandom > "$work/site/www/big.bin"
url="$demo_origin/big.bin"

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
  measure tavrin "$tool" download "$url" "$work/out.bin"
  measure curl curl -s -o "$work/out.bin" "$url"
done

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ours=$(awk '$1=="tavrin"{print $2}' "$work/results" | median)
theirs=$(awk '$1=="curl"{print $2}' "$work/results" | median)
ours_kib=$(awk '$1=="tavrin"{print $3}' "$work/results" | median)
theirs_kib=$(awk '$1=="curl"{print $3}' "$work/results" | median)
echo "| file | runs | tavrin-tool | curl | ratio curl/ours | peak memory tavrin-tool | peak memory curl |"
echo "|---|---|---|---|---|---|---|"
printf '| %s MiB | %s | %s s | %s s | %.2f | %s KiB | %s KiB |\n' "$size" "$runs" "$ours" "$theirs" \
  "$(echo "$theirs / $ours" | bc -l)" "$ours_kib" "$theirs_kib"
