#!/usr/bin/env bash
# The game's sockets through the launcher's bridge (the engine's channel) against a direct
# connection on loopback: round trips of a 100-byte message and a 10 MiB transfer, as the
# movie sees them and as a native client does. Usage: bench/socket-bridge.sh [RUNS]
. "$(dirname "$0")/common.sh"
runs=${1:-3}
bench=$(bench_program bench/tavrin_socket_bench)
bench_work bench-run/sockets --keep
haxe -cp "$root/bench/movies" -main SocketBench -swf "$work/SocketBench.swf" -swf-version 11.5 \
  -swf-header 400:300:30:000000 -D haxe-boot
bench_ruffle "$bench"
export XDG_STATE_HOME="$work/state"
cat > "$work/runs.sh" <<RUNS
for i in \$(seq $runs); do "$bench" "$work/SocketBench.swf" 2>/dev/null | tr '\n' ' '; echo; done
RUNS
run_on_display "$work/runs.sh" | tee "$work/out"
pick() { sed -n "s/.*$1 \\([0-9.]*\\).*/\\1/p" "$work/out" | median; }
printf '| | direct (native client) | bridge (channel messages from a native client) | bridge (the movie) | movie : direct |\n|---|---|---|---|---|\n'
printf '| 100-byte round trip | %s µs | %s µs | %s µs | %s× |\n' "$(pick direct_round_trip_us)" \
  "$(pick bridge_native_round_trip_us)" "$(pick bridge_round_trip_us)" "$(pick round_trip_ratio)"
printf '| 10 MiB there and back | %s MiB/s | %s MiB/s | %s MiB/s | %s |\n' "$(pick direct_transfer_mib_s)" \
  "$(pick bridge_native_transfer_mib_s)" "$(pick bridge_transfer_mib_s)" "$(pick transfer_ratio)"
printf '\nA connect to a server the list does not name, on loopback: the policy request alone %s µs; from the\npage'"'"'s question to its answer (master port, policy on the destination port, connection) %s µs;\nbeyond the policy request %s µs.\n' \
  "$(pick policy_request_us)" "$(pick policy_connect_us)" "$(pick policy_connect_beyond_request_us)"
