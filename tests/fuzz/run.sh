#!/usr/bin/env bash
# Fuzzes one target: tests/fuzz/run.sh TARGET [SECONDS] [libFuzzer options...]
# Builds the fuzz preset when needed, then runs the target at the lowest priority, one job,
# starting from the committed seeds. New inputs go to build/fuzz/corpus/TARGET, crashes to
# build/fuzz/crashes/TARGET, the log to build/fuzz/logs; the committed corpus is only read.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
target=${1:?usage: tests/fuzz/run.sh TARGET [SECONDS] [libFuzzer options...]}
seconds=${2:-600}
shift $(($# < 2 ? $# : 2))

seeds="$root/tests/fuzz/corpus/$target"
[ -d "$seeds" ] || { echo "no seed corpus $seeds" >&2; exit 2; }
build="$root/build/fuzz"
[ -f "$build/CMakeCache.txt" ] || (cd "$root" && cmake --preset fuzz >/dev/null)
nice -n 19 cmake --build "$build" -j2 --target "fuzz_$target"

scratch="$build/corpus/$target"
crashes="$build/crashes/$target"
# A folder per run: runs side by side must not share libFuzzer's log.
logs="$build/logs/$target-$(date +%Y%m%d-%H%M%S)-$$"
mkdir -p "$scratch" "$crashes" "$logs"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
# One job in one worker: libFuzzer runs it as a child process that logs to fuzz-0.log in
# the current folder. The first corpus folder receives the new inputs, the seeds are only
# read; the archives (up to 64 KiB) set the largest input.
cd "$logs"
rc=0
nice -n 19 "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -jobs=1 -workers=1 \
    -timeout=25 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$@" "$scratch" "$seeds" || rc=$?
tail -n 40 "$logs/fuzz-0.log"
echo "log: $logs/fuzz-0.log, new inputs: $scratch, crashes: $crashes"
exit $rc
