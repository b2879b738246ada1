#!/usr/bin/env bash
# Time from the launcher's process start to the login page's document-complete, against the
# demo operator service on loopback, on a virtual display. Prints each run and the median.
# Usage: bench/startup-to-login.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-10}
bench="$root/build/native/bench/tavrin_startup_bench"
[ -x "$bench" ] || { echo "build first: cmake --build --preset native" >&2; exit 1; }
work="$root/build/bench-run"
rm -rf "$work"
. "$root/tools/demo-site/start-background.sh" "$work"
printf '[config]\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\n' "$demo_origin" > "$(dirname "$bench")/config.ini"
[ "$(id -u)" != 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
export XDG_DATA_HOME="$work/data"

cat > "$work/runs.sh" <<RUNS
for i in \$(seq $runs); do "$bench" 2>/dev/null | sed -n 's/^startup_to_login_ms //p'; done
RUNS
mapfile -t times < <(xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/runs.sh")
[ ${#times[@]} -gt 0 ] || { echo "no run completed" >&2; exit 1; }
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "process start to login page complete, ms (${#times[@]} runs): ${times[*]}"
printf '| runs | min | median | max |\n|---|---|---|---|\n| %d | %s | %s | %s |\n' \
  "${#sorted[@]}" "${sorted[0]}" "${sorted[$(( ${#sorted[@]} / 2 ))]}" "${sorted[-1]}"
