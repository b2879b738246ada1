# Sourced by test-all.sh: the table it ends with.
#   ccache_counts                       "HITS MISSES" of the compiler cache so far
#   print_time_table SETUP_SECONDS CCACHE_BEFORE "LANE BUILD TEST"...
# The slowest tests come from the lanes' logs (build/lane-NAME.log), as ctest printed them.

ccache_counts() {
  command -v ccache >/dev/null || { echo "0 0"; return; }
  ccache --print-stats 2>/dev/null | awk -F '\t' '
    $1 == "direct_cache_hit" || $1 == "preprocessed_cache_hit" { hits += $2 }
    $1 == "cache_miss" { misses += $2 }
    END { print hits + 0, misses + 0 }'
}

print_time_table() {
  local setup=$1 before=$2
  shift 2
  local row name build tests
  echo "== Time table"
  printf '  %-10s %7s %7s %7s\n' lane build tests total
  printf '  %-10s %7s %7s %7s\n' setup "" "" "$setup"
  for row in "$@"; do
    read -r name build tests <<<"$row"
    printf '  %-10s %7s %7s %7s\n' "$name" "$build" "$tests" "$((build + tests))"
  done
  local hits0 misses0 hits1 misses1
  read -r hits0 misses0 <<<"$before"
  read -r hits1 misses1 <<<"$(ccache_counts)"
  local hits=$((hits1 - hits0)) compiles=$((hits1 - hits0 + misses1 - misses0))
  [ "$compiles" = 0 ] || echo "  compiler cache: $hits of $compiles compiles taken from it"
  echo "  slowest tests (seconds, lane):"
  for row in "$@"; do
    read -r name _ <<<"$row"
    [ -f "build/lane-$name.log" ] || continue
    sed -nE "s/^ *[0-9]+\/[0-9]+ Test +#[0-9]+: ([^ ]+) .* ([0-9]+\.[0-9]+) sec\$/\2 $name \1/p" \
      "build/lane-$name.log"
  done | sort -rn | head -n 10 | awk '{ printf "  %9.1f  %-9s %s\n", $1, $2, $3 }'
}
