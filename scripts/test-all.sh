#!/usr/bin/env bash
# Every test lane: the Linux build (core, user interface, integration against real
# programs), the core alone without Qt, the sanitizer build, the Windows cross-build under
# Wine, the fuzz targets for a short while each, and the Debian package installed into a
# fresh Debian root. Extra arguments go to
# each ctest run (for example -R Config); TAVRIN_LANES="native package" runs only those lanes.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
"$root/scripts/setup.sh" test || exit 1

total_passed=0
total_failed=0
failed_lanes=()
skipped=()
started=$(date +%s)

lanes=${TAVRIN_LANES:-native core sanitize fuzz windows package}
run_lane() { # name command...
  local name=$1; shift
  [[ " $lanes " == *" $name "* ]] || return 0
  echo "== lane: $name"
  local log="$root/build/lane-$name.log"
  mkdir -p "$root/build"
  "$@" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  # A lane may run ctest more than once: add up every summary it printed.
  local failed=0 all=0 f a
  while read -r f a; do
    failed=$((failed + f)); all=$((all + a))
  done < <(sed -nE 's/.* tests passed, ([0-9]+) tests failed out of ([0-9]+).*/\1 \2/p' "$log")
  if [ "$rc" != 0 ] && [ "$failed" = 0 ]; then
    failed=1  # the lane broke before or outside its tests
  fi
  total_passed=$((total_passed + all - (failed > all ? all : failed)))
  total_failed=$((total_failed + failed))
  [ "$rc" = 0 ] || failed_lanes+=("$name")
  # Skipped tests count as passed in ctest's summary: name them, so a missing tool shows.
  local test
  while read -r test; do skipped+=("$name: $test"); done < \
    <(sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \(Skipped\)$/\1/p' "$log")
  echo "== lane $name: $((all - (failed > all ? all : failed))) passed, $failed failed"
}

# The window tests need a display; a virtual one serves on machines without.
on_display() { xvfb-run -a -s "-screen 0 1280x1024x24" "$@"; }

lane_native() { on_display ctest --preset native "$@"; }
# Builds the .deb from the native build and starts the installed launcher in a chroot (on a
# display: ctest lists the window tests of the same build before it runs any test).
lane_package() { on_display ctest --preset package "$@"; }
lane_core() {
  cmake --preset core -DTAVRIN_REQUIRE_TEST_PEERS=ON >/dev/null && cmake --build --preset core && ctest --preset core "$@"
}
# Each fuzz target for a short while (libFuzzer, clang with ASan and UBSan), from its seeds.
lane_fuzz() {
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz --target fuzz_targets &&
    ctest --test-dir "$root/build/fuzz/tests/fuzz" --output-on-failure -j2 "$@"
}
lane_sanitize() {
  cmake --preset sanitize -DTAVRIN_REQUIRE_TEST_PEERS=ON >/dev/null && cmake --build --preset sanitize || return 1
  export UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions="$root/tests/lsan.supp"
  local tests="$root/build/sanitize/tests" rc=0
  local opts=(--output-on-failure -j2)
  # Leaks are checked in everything but the window tests: there the GL driver and the
  # browser engine keep memory that LeakSanitizer cannot even attribute to a library, and
  # Chromium inside Qt WebEngine frees some objects with a mismatched size.
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 ctest --test-dir "$tests/unit" "${opts[@]}" "$@" || rc=1
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 ctest --test-dir "$tests/integration" "${opts[@]}" "$@" || rc=1
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 ctest --test-dir "$tests/soak" "${opts[@]}" "$@" || rc=1
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 ctest --test-dir "$tests/fuzz" "${opts[@]}" "$@" || rc=1
  ASAN_OPTIONS=detect_leaks=0:new_delete_type_mismatch=0:abort_on_error=1 \
    on_display ctest --test-dir "$tests/ui" "${opts[@]}" "$@" || rc=1
  return $rc
}

run_lane native lane_native "$@"
run_lane core lane_core "$@"
run_lane sanitize lane_sanitize "$@"
run_lane fuzz lane_fuzz "$@"
run_lane windows "$root/scripts/test-windows.sh" "$@"
run_lane package lane_package "$@"

echo
echo "All lanes took $(( $(date +%s) - started )) s."
[ ${#failed_lanes[@]} = 0 ] || echo "Failed lanes: ${failed_lanes[*]}"
[ ${#skipped[@]} = 0 ] || printf 'Skipped (counted as passed):\n%s\n' "$(printf '  %s\n' "${skipped[@]}")"
echo "$total_passed passed, $total_failed failed"
[ "$total_failed" = 0 ] && [ ${#failed_lanes[@]} = 0 ]
