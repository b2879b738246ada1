#!/usr/bin/env bash
# The game's sockets through the launcher's WebSocket bridge against a direct connection on
# loopback: round trips of a 100-byte message and a 10 MiB transfer, as the movie sees them
# and as a native client does. Usage: bench/socket-bridge.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
bench="$root/build/native/bench/tavrin_socket_bench"
[ -x "$bench" ] || { echo "build first: cmake --build --preset native" >&2; exit 1; }
work="$root/build/bench-run/sockets"
mkdir -p "$work"
haxe -cp "$root/bench/movies" -main SocketBench -swf "$work/SocketBench.swf" -swf-version 11.5 \
  -swf-header 400:300:30:000000 -D haxe-boot
ln -sfn "$root/build/native/src/ruffle" "$(dirname "$bench")/ruffle"
[ "$(id -u)" != 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
export XDG_STATE_HOME="$work/state"
cat > "$work/runs.sh" <<RUNS
for i in \$(seq $runs); do "$bench" "$work/SocketBench.swf" 2>/dev/null | tr '\n' ' '; echo; done
RUNS
xvfb-run -a -s "-screen 0 1280x1024x24" bash "$work/runs.sh" | tee "$work/out"
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
pick() { sed -n "s/.*$1 \\([0-9.]*\\).*/\\1/p" "$work/out" | median; }
printf '| | direct (native client) | bridge (native WebSocket client) | bridge (the movie) | movie : direct |\n|---|---|---|---|---|\n'
printf '| 100-byte round trip | %s µs | %s µs | %s µs | %s× |\n' "$(pick direct_round_trip_us)" \
  "$(pick bridge_native_round_trip_us)" "$(pick bridge_round_trip_us)" "$(pick round_trip_ratio)"
printf '| 10 MiB there and back | %s MiB/s | %s MiB/s | %s MiB/s | %s |\n' "$(pick direct_transfer_mib_s)" \
  "$(pick bridge_native_transfer_mib_s)" "$(pick bridge_transfer_mib_s)" "$(pick transfer_ratio)"
