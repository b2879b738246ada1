#!/usr/bin/env bash
# The road into the game against the demo operator service, on a virtual display: time
# from the verification address to the movie's first frame, and the launcher's memory
# (with its browser processes) while the movie plays. Usage: bench/game-road.sh [RUNS]
. "$(dirname "$0")/common.sh"
runs=${1:-5}
bench=$(bench_program bench/tavrin_game_bench)
bench_work bench-run
bench_demo
bench_config_ini "$bench"
bench_ruffle "$bench"
export XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
rows=""
# Server 1 plays the ActionScript 2 demo, server 3 the AS3 arena with its game server.
for server in 1 3; do
  cat > "$work/runs.sh" <<RUNS
for i in \$(seq $runs); do "$bench" $server 2>>"$work/processes-$server" | tr '\n' ' '; echo; done
RUNS
  run_on_display "$work/runs.sh" > "$work/out-$server"
  cat "$work/out-$server"
  ms=$(sed -n 's/.*verification_to_first_frame_ms \([0-9]*\).*/\1/p' "$work/out-$server" | median)
  kib=$(sed -n 's/.*memory_while_playing_kib \([0-9]*\).*/\1/p' "$work/out-$server" | median)
  rows+="| $server | $runs | $ms ms | $((kib / 1024)) MiB |"$'\n'
done
echo "Each process's share of the last run: $work/processes-*"
printf '| server | runs | verification to first frame (median) | memory while playing (median) |\n'
printf '|---|---|---|---|\n%s' "$rows"
