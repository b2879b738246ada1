#!/usr/bin/env bash
# The road into the game against the demo operator service, on a virtual display: time
# from the verification address to the movie's first frame, and the launcher's memory
# (with its browser processes) while the movie plays. Usage: bench/game-road.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
bench="$root/build/native/bench/tavrin_game_bench"
[ -x "$bench" ] || { echo "build first: cmake --build --preset native" >&2; exit 1; }
work="$root/build/bench-run"
rm -rf "$work"
. "$root/tools/demo-site/start-background.sh" "$work"
printf '[config]\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\n' "$demo_origin" > "$(dirname "$bench")/config.ini"
ln -sfn "$root/build/native/src/ruffle" "$(dirname "$bench")/ruffle"
[ "$(id -u)" != 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
export XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
rows=""
# Server 1 plays the ActionScript 2 demo, server 3 the AS3 arena with its game server.
for server in 1 3; do
  cat > "$work/runs.sh" <<RUNS
for i in \$(seq $runs); do "$bench" $server 2>>"$work/processes-$server" | tr '\n' ' '; echo; done
RUNS
  xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/runs.sh" > "$work/out-$server"
  cat "$work/out-$server"
  ms=$(sed -n 's/.*verification_to_first_frame_ms \([0-9]*\).*/\1/p' "$work/out-$server" | median)
  kib=$(sed -n 's/.*memory_while_playing_kib \([0-9]*\).*/\1/p' "$work/out-$server" | median)
  rows+="| $server | $runs | $ms ms | $((kib / 1024)) MiB |"$'\n'
done
echo "Each process's share of the last run: $work/processes-*"
printf '| server | runs | verification to first frame (median) | memory while playing (median) |\n'
printf '|---|---|---|---|\n%s' "$rows"
