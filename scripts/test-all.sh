#!/usr/bin/env bash
# Every test lane: the Linux build (core, user interface, integration against real
# programs), the core alone without Qt, the sanitizer build, the Windows cross-build under
# Wine, the fuzz targets for a short while each, and the Debian package installed into a
# fresh Debian root. Extra arguments go to each ctest run (for example -R Config);
# TAVRIN_LANES="native package" runs only those lanes.
#
# Every compile goes through ccache (CMake picks it up once setup.sh has installed it): a
# second run, or a lane whose objects another lane already made, takes them from the cache.
# It ends with a time table: each lane's build and test time, the cache's hits and the ten
# slowest tests.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
started=$(date +%s)
"$root/scripts/setup.sh" test --no-build || exit 1
setup_seconds=$(($(date +%s) - started))
. "$root/scripts/lib/time-table.sh"
ccache_before=$(ccache_counts)

total_passed=0
total_failed=0
failed_lanes=()
skipped=()
lane_times=()

lanes=${TAVRIN_LANES:-native core sanitize fuzz windows package}
run_lane() { # name [ctest arguments...]: runs lane_NAME_build, then lane_NAME_test
  local name=$1; shift
  [[ " $lanes " == *" $name "* ]] || return 0
  echo "== lane: $name"
  local log="$root/build/lane-$name.log"
  mkdir -p "$root/build"
  : >"$log"
  local t0 t1 t2 rc=0
  t0=$(date +%s)
  "lane_${name}_build" 2>&1 | tee -a "$log"
  rc=${PIPESTATUS[0]}
  t1=$(date +%s)
  if [ "$rc" = 0 ]; then
    "lane_${name}_test" "$@" 2>&1 | tee -a "$log"
    rc=${PIPESTATUS[0]}
  else
    echo "== lane $name: the build failed; its tests do not run" | tee -a "$log"
  fi
  t2=$(date +%s)
  lane_times+=("$name $((t1 - t0)) $((t2 - t1))")
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

# setup.sh configures the native build as the tests want it (every peer required, warnings
# as errors) and builds it.
lane_native_build() { "$root/scripts/setup.sh" test; }
lane_native_test() { on_display ctest --preset native "$@"; }

lane_core_build() {
  cmake --preset core -DTAVRIN_REQUIRE_TEST_PEERS=ON >/dev/null && cmake --build --preset core
}
lane_core_test() { ctest --preset core "$@"; }

lane_sanitize_build() {
  cmake --preset sanitize -DTAVRIN_REQUIRE_TEST_PEERS=ON >/dev/null && cmake --build --preset sanitize
}
# One ctest run over every folder: the window tests take turns on the display while the
# others run beside them. Leaks are checked everywhere but in the window tests (their own
# ASAN_OPTIONS say why); the style checks are the native and core lanes' and the package
# test is its own lane's.
lane_sanitize_test() {
  UBSAN_OPTIONS=print_stacktrace=1 LSAN_OPTIONS=suppressions="$root/tests/lsan.supp" \
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    on_display ctest --preset sanitize --label-exclude 'style|package' "$@"
}

# Each fuzz target for a short while (libFuzzer, clang with ASan and UBSan), from its seeds.
lane_fuzz_build() {
  cmake --preset fuzz >/dev/null && cmake --build --preset fuzz --target fuzz_targets
}
lane_fuzz_test() { ctest --test-dir "$root/build/fuzz/tests/fuzz" --output-on-failure -j2 "$@"; }

lane_windows_build() { "$root/scripts/test-windows.sh" --build-only; }
lane_windows_test() { "$root/scripts/test-windows.sh" --test-only "$@"; }

# The .deb is made from the native build and the installed launcher started in a chroot
# (on a display: ctest lists the window tests of the same build before it runs any test).
lane_package_build() { lane_native_build; }
lane_package_test() { on_display ctest --preset package "$@"; }

run_lane native "$@"
run_lane core "$@"
run_lane sanitize "$@"
run_lane fuzz "$@"
run_lane windows "$@"
run_lane package "$@"

echo
print_time_table "$setup_seconds" "$ccache_before" "${lane_times[@]}"
echo "All lanes took $(($(date +%s) - started)) s."
[ ${#failed_lanes[@]} = 0 ] || echo "Failed lanes: ${failed_lanes[*]}"
[ ${#skipped[@]} = 0 ] || printf 'Skipped (counted as passed):\n%s\n' "$(printf '  %s\n' "${skipped[@]}")"
echo "$total_passed passed, $total_failed failed"
[ "$total_failed" = 0 ] && [ ${#failed_lanes[@]} = 0 ]
