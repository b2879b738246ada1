#!/usr/bin/env bash
# Every test lane: the Linux build (core, user interface, integration against real
# programs), the core alone without Qt, the sanitizer build, and the Windows cross-build
# under Wine. Extra arguments go to each ctest run (for example -R Config).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh" || exit 1

total_passed=0
total_failed=0
failed_lanes=()
started=$(date +%s)

run_lane() { # name command...
  local name=$1; shift
  echo "== lane: $name"
  local log="$root/build/lane-$name.log"
  mkdir -p "$root/build"
  "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  local failed=0 all=0
  if [ -n "$line" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
    all=$(sed -E 's/.* tests failed out of ([0-9]+).*/\1/' <<<"$line")
  fi
  if [ "$rc" != 0 ] && [ "$failed" = 0 ]; then
    failed=1  # the lane broke before or outside its tests
  fi
  total_passed=$((total_passed + all - (failed > all ? all : failed)))
  total_failed=$((total_failed + failed))
  [ "$rc" = 0 ] || failed_lanes+=("$name")
  echo "== lane $name: $((all - (failed > all ? all : failed))) passed, $failed failed"
}

# The window tests need a display; a virtual one serves on machines without.
on_display() { xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; }

lane_native() { on_display ctest --preset native "$@"; }
lane_core() {
  cmake --preset core >/dev/null && cmake --build --preset core && ctest --preset core "$@"
}
lane_sanitize() {
  cmake --preset sanitize >/dev/null && cmake --build --preset sanitize &&
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
      LSAN_OPTIONS=suppressions="$root/tests/lsan.supp" on_display ctest --preset sanitize "$@"
}

run_lane native lane_native "$@"
run_lane core lane_core "$@"
run_lane sanitize lane_sanitize "$@"
run_lane windows "$root/scripts/test-windows.sh" "$@"

echo
echo "All lanes took $(( $(date +%s) - started )) s."
[ ${#failed_lanes[@]} = 0 ] || echo "Failed lanes: ${failed_lanes[*]}"
echo "$total_passed passed, $total_failed failed"
[ "$total_failed" = 0 ] && [ ${#failed_lanes[@]} = 0 ]
