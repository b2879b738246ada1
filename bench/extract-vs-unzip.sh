#!/usr/bin/env bash
# tavrin-tool extract against Info-ZIP unzip and bsdtar on the same archives: one of 2,000
# small files, one of a single 200 MiB file. Alternating runs; median time and peak memory.
# Usage: bench/extract-vs-unzip.sh [RUNS]
. "$(dirname "$0")/common.sh"
runs=${1:-5}
tool=$(bench_program src/tavrin-tool)
bench_work bench-extract
mkdir -p "$work/small" "$work/large"
python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(7)
for i in range(2000):
    folder = os.path.join(work, "small", f"d{i % 40:02d}")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"f{i:04d}.txt"), "wb") as f:
        f.write(bytes(rng.getrandbits(8) for _ in range(rng.randint(200, 4000))))
with open(os.path.join(work, "large", "big.bin"), "wb") as f:
    chunk = os.urandom(1 << 20)
    for i in range(200):
        f.write(chunk[i:] + chunk[:i])
PY
(cd "$work/small" && zip -qr "$work/small.zip" .)
(cd "$work/large" && zip -q "$work/large.zip" big.bin)

measure() { # label command...
  local label=$1; shift
  rm -rf "$work/out"; mkdir -p "$work/out"
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" > /dev/null 2>&1
  read -r seconds kib < "$work/time"
  echo "$label $seconds $kib" >> "$work/results"
}
: > "$work/results"
for archive in small large; do
  for _ in $(seq "$runs"); do
    measure "$archive tavrin" "$tool" extract "$work/$archive.zip" "$work/out"
    measure "$archive unzip" unzip -qo "$work/$archive.zip" -d "$work/out"
    measure "$archive bsdtar" bsdtar -xf "$work/$archive.zip" -C "$work/out"
  done
done
echo "| archive | runs | tavrin-tool | unzip | bsdtar | ratio unzip/ours | ratio bsdtar/ours | peak memory ours / unzip / bsdtar |"
echo "|---|---|---|---|---|---|---|---|"
for archive in small large; do
  t=$(awk -v a="$archive" '$1==a && $2=="tavrin"{print $3}' "$work/results" | median)
  u=$(awk -v a="$archive" '$1==a && $2=="unzip"{print $3}' "$work/results" | median)
  b=$(awk -v a="$archive" '$1==a && $2=="bsdtar"{print $3}' "$work/results" | median)
  tm=$(awk -v a="$archive" '$1==a && $2=="tavrin"{print $4}' "$work/results" | median)
  um=$(awk -v a="$archive" '$1==a && $2=="unzip"{print $4}' "$work/results" | median)
  bm=$(awk -v a="$archive" '$1==a && $2=="bsdtar"{print $4}' "$work/results" | median)
  name=$([ "$archive" = small ] && echo "2,000 small files" || echo "one 200 MiB file")
  printf '| %s | %s | %s s | %s s | %s s | %.2f | %.2f | %s / %s / %s KiB |\n' "$name" "$runs" \
    "$t" "$u" "$b" "$(echo "$u / $t" | bc -l)" "$(echo "$b / $t" | bc -l)" "$tm" "$um" "$bm"
done
