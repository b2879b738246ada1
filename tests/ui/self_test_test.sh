#!/usr/bin/env bash
# tavrin --self-test through Qt WebEngine: every step passes and the report file says so; a
# copy of the program whose player file is missing fails with the step that needs it. Needs
# a display, as every window test. Usage: self_test_test.sh TAVRIN
set -uo pipefail
tavrin=$(readlink -f "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$root/tests/integration/check.sh"
[ "$(id -u)" != 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1

timeout 170 "$tavrin" --self-test --report "$work/report.txt" >"$work/out" 2>"$work/err"
check "status" "0" "$?"
check "every step passed" "18|0" "$(grep -c '^pass ' "$work/out")|$(grep -c '^FAIL ' "$work/out")"
check "the report file holds the same" "result=passed" "$(tail -1 "$work/report.txt")"
check "it names the engine" "1" "$(grep -c '^engine=Qt WebEngine .* (Chromium ' "$work/out")"
cp "$work/out" "$work/whole"

# Without the player's code the launcher cannot open the game.
mkdir -p "$work/broken/ruffle"
cp "$tavrin" "$work/broken/" && cp "$(dirname "$tavrin")"/ruffle/* "$work/broken/ruffle/"
rm "$work/broken/ruffle/ruffle.js"
timeout 170 "$work/broken/$(basename "$tavrin")" --self-test >"$work/out" 2>>"$work/err"
check "a missing player file: status" "1" "$?"
check "a missing player file: the step" "game window opened" \
  "$(sed -n 's/^FAIL  [0-9]* ms  \(.*\)  (.*/\1/p' "$work/out")"
finish || { cat "$work/whole" "$work/out"; tail -20 "$work/err"; exit 1; }
