# Sourced by scripts that need the demo operator service for a while:
#   . tools/demo-site/start-background.sh RUNDIR
# starts it on a free loopback port, sets $demo_origin and $demo_pid, and stops it when the
# sourcing script exits.
demo_run=$1
mkdir -p "$demo_run"
# A run folder used before holds the last run's "ready" line until the new service writes.
rm -f "$demo_run/serve.out"
"$(dirname "${BASH_SOURCE[0]}")/serve.sh" 0 "$demo_run/site" > "$demo_run/serve.out" 2>&1 &
demo_pid=$!
trap 'kill $demo_pid 2>/dev/null; wait $demo_pid 2>/dev/null || true' EXIT
# About a second; the bound is for a machine that is very busy.
for _ in $(seq 600); do
  grep -qs '^ready ' "$demo_run/serve.out" && break
  kill -0 "$demo_pid" 2>/dev/null || break
  sleep 0.1
done
demo_origin=$(sed -n 's/^ready //p' "$demo_run/serve.out")
if [ -z "$demo_origin" ]; then
  echo "the demo operator service did not start:" >&2
  cat "$demo_run/serve.out" >&2
  exit 1
fi
