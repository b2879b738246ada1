#!/usr/bin/env bash
# Time from the launcher's process start to the login page's document-complete, against the
# demo operator service on loopback, on a virtual display. Prints each run and the median.
# Usage: bench/startup-to-login.sh [RUNS]
. "$(dirname "$0")/common.sh"
runs=${1:-10}
bench=$(bench_program bench/tavrin_startup_bench)
bench_work bench-run
bench_demo
bench_config_ini "$bench"
export XDG_DATA_HOME="$work/data"

cat > "$work/runs.sh" <<RUNS
for i in \$(seq $runs); do "$bench" 2>/dev/null | sed -n 's/^startup_to_login_ms //p'; done
RUNS
mapfile -t times < <(run_on_display "$work/runs.sh")
[ ${#times[@]} -gt 0 ] || { echo "no run completed" >&2; exit 1; }
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "process start to login page complete, ms (${#times[@]} runs): ${times[*]}"
printf '| runs | min | median | max |\n|---|---|---|---|\n| %d | %s | %s | %s |\n' \
  "${#sorted[@]}" "${sorted[0]}" "${sorted[$(( ${#sorted[@]} / 2 ))]}" "${sorted[-1]}"
