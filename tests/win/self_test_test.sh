#!/usr/bin/env bash
# tavrin.exe --self-test under Wine on the engine double (playing the pages' and the self-test
# movie's part): every step passes and the report file says so; a copy whose player file is
# missing fails with the step that needs it.
# Usage: self_test_test.sh TAVRIN_EXE ENGINE_DOUBLE_DLL RUFFLE_FOLDER
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$root/tests/integration/check.sh"
app=$work/app
mkdir -p "$app" && cp "$1" "$app/tavrin.exe" && cp "$2" "$app/WebView2Loader.dll" &&
  cp -r "$3" "$app/ruffle"
export TAVRIN_ENGINE_DOUBLE_PLAYS=1
run() { timeout 170 wine "$app/tavrin.exe" --self-test "$@" 2>>"$work/err" | tr -d '\r' >"$work/out"; }

run --report "$(winepath -w "$work/report.txt" 2>/dev/null)"
check "status" "0" "${PIPESTATUS[0]}"
check "every step passed" "19|0" "$(grep -c '^pass ' "$work/out")|$(grep -c '^FAIL ' "$work/out")"
check "the report file holds the same" "result=passed" "$(tr -d '\r' < "$work/report.txt" | tail -1)"
check "it names the engine" "engine=WebView2 runtime 131.0.2903.99 (engine double)" \
  "$(head -1 "$work/out")"
check "it says what headers the engine delivered" "1" \
  "$(grep -c "^pass .* headers of the player page's requests to the launcher  (Origin: http://127.0.0.1:" "$work/out")"

cp "$work/out" "$work/whole"
rm "$app/ruffle/ruffle.js"
run
check "a missing player file: the step" "game window opened" \
  "$(sed -n 's/^FAIL  [0-9]* ms  \(.*\)  (.*/\1/p' "$work/out")"
check "a missing player file: the result" "result=failed" "$(tail -1 "$work/out")"
finish || { cat "$work/whole" "$work/out"; tail -20 "$work/err"; exit 1; }
