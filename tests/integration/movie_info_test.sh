#!/usr/bin/env bash
# tavrin-tool movie-info on the demo's two real movies: the ActionScript 2 one our generator
# writes and the ActionScript 3 arena Haxe compiles, and on files that are no movie.
# Usage: movie_info_test.sh TAVRIN_TOOL
set -uo pipefail
tool=$1
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/check.sh"

python3 "$root/tools/demo-game/make_swf.py" "$work/demo.swf" >/dev/null
out=$("$tool" movie-info "$work/demo.swf")
check "the generated movie: status" "0" "$?"
check "the generated movie" "none|8|1000x600|24|ActionScript 1/2" \
  "$(sed -n 's/^\(compression\|version\|stage\|frameRate\|script\)=//p' <<<"$out" | paste -sd'|')"
check "its length is the file's" "$(stat -c %s "$work/demo.swf")" "$(sed -n 's/^length=//p' <<<"$out")"

"$root/tools/demo-game/build-as3.sh" "$work/arena.swf" >/dev/null 2>&1
out=$("$tool" movie-info "$work/arena.swf")
check "the arena: status" "0" "$?"
check "the arena" "zlib|1000x600|30|ActionScript 3" \
  "$(sed -n 's/^\(compression\|stage\|frameRate\|script\)=//p' <<<"$out" | paste -sd'|')"

printf '<html>404</html>' >"$work/page.swf"
"$tool" movie-info "$work/page.swf" >/dev/null 2>"$work/err"
check "a page is no movie: status" "1" "$?"
check "a page is no movie: why" "1" "$(grep -c 'not a Flash movie' "$work/err")"
"$tool" movie-info "$work/missing.swf" >/dev/null 2>&1
check "a missing file: status" "1" "$?"
finish
