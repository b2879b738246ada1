#!/usr/bin/env bash
# Line coverage of the WebView2 engine adapter (src/win/webview2_*.cpp) as the Windows front
# end's tests reach it under Wine, against the engine double. Cross-builds those tests into
# build/windows-coverage (never build/windows, which the Windows lane owns) with the front-end
# library instrumented, runs them as scripts/test-windows.sh does, reads the counters with
# mingw-w64's own gcov and prints, per adapter file, the lines executed out of the executable
# ones, then every line never executed, by function.
#
#   scripts/win-coverage.sh [--test-only] [ctest arguments...]
#
# --test-only runs and reports on the last build; ctest arguments pick tests (-R Adapter).
# The exit status is ctest's: a failed test is said, and the figures are printed all the same.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/windows-coverage"
adapter=(webview2_engine webview2_view webview2_requests webview2_page_events)
objects="$build/src/CMakeFiles/tavrin_win.dir/win"
cd "$root"

if [ "${1:-}" = --test-only ]; then
  shift
else
  "$root/scripts/fetch-win-deps.sh"
  # Only the front-end library is instrumented, unoptimised so that each line keeps its own
  # counter; everything else compiles as in the Windows lane and comes out of ccache. The
  # library goes into the tests and into the engine double: both need gcov's run-time, hence
  # a link option that travels with the library.
  mkdir -p "$build"
  cat > "$build/coverage.cmake" <<'CMAKE'
cmake_language(DEFER CALL target_compile_options tavrin_win PRIVATE --coverage -O0)
cmake_language(DEFER CALL target_link_options tavrin_win INTERFACE --coverage)
CMAKE
  cmake --preset windows -B "$build" -DCMAKE_PROJECT_tavrin_INCLUDE="$build/coverage.cmake" >/dev/null
  # The test program depends on the loaders it runs beside, the engine double among them.
  cmake --build "$build" -j2 --target tavrin_win_tests
  # The report quotes the sources as they were compiled, even if they are edited meanwhile.
  mkdir -p "$build/coverage-sources"
  for file in "${adapter[@]}"; do
    cp "src/win/$file.cpp" "$build/coverage-sources/"
    if [ "src/win/$file.cpp" -nt "$objects/$file.cpp.gcno" ]; then
      echo "src/win/$file.cpp changed while it was being compiled: run again" >&2
      exit 1
    fi
  done
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --test-only "$@"
fi

# As scripts/test-windows.sh, but with a Wine prefix of its own: that script stops its prefix's
# Wine server when it ends, which would end these tests too if both ran at once. No
# GCOV_PREFIX: the counters' files are named by the objects' absolute Unix paths, which Wine
# opens as such (drive Z: is /), whatever the program's current folder.
. "$root/scripts/lib/wine-env.sh" "$build/wine-prefix"
find "$build/src" -name '*.gcda' -delete  # this run's counts only
start=$(date +%s)
tests=0
# The lane's other tests (the installer, the self-update) need programs this build leaves out.
ctest --test-dir "$build/tests/win" -E '^windows_' --output-on-failure "$@" || tests=$?
echo "tests: $(($(date +%s) - start)) s, ctest status $tests"
echo

# mingw-w64's gcov, of the compiler's own version. An object without counters was never run:
# gcov then counts each of its lines as not executed. The engine double's copy of the library
# adds its own counts (it normalises addresses with the adapter's NormalisedAddress and OriginOf).
gcno=()
for file in "${adapter[@]}"; do gcno+=("$objects/$file.cpp.gcno"); done
x86_64-w64-mingw32-gcov --json-format --stdout "${gcno[@]}" |
python3 -c '
import json, os, sys
sources, total, total_run = sys.argv[1], 0, 0
for doc in map(json.loads, filter(str.strip, sys.stdin)):
    for f in doc["files"]:
        name = os.path.basename(f["file"])
        if not (name.startswith("webview2_") and name.endswith(".cpp")):
            continue  # the headers and the library code the file instantiates
        names = {g["name"]: g["demangled_name"].replace("tavrin::win::", "").replace(
            "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> >",
            "std::string") for g in f["functions"]}
        # A line in several functions (a lambda and the function around it) counts once.
        counts, owner = {}, {}
        for line in f["lines"]:
            n = line["line_number"]
            counts[n] = counts.get(n, 0) + line["count"]
            owner.setdefault(n, names.get(line.get("function_name"), "?"))
        missed = sorted(n for n, c in counts.items() if c == 0)
        run = len(counts) - len(missed)
        total, total_run = total + len(counts), total_run + run
        print(f"src/win/{name}: {run}/{len(counts)} lines executed ({100 * run / len(counts):.1f} %)")
        source = open(os.path.join(sources, name), encoding="utf-8").read().splitlines()
        current = None
        for n in missed:
            if owner[n] != current:
                current = owner[n]
                print(f"  in {current}")
            print(f"    {n:4}: {source[n - 1].strip()}")
print(f"adapter: {total_run}/{total} lines executed ({100 * total_run / max(total, 1):.1f} %)")
' "$build/coverage-sources"
exit "$tests"
