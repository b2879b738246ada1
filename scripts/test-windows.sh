#!/usr/bin/env bash
# The Windows lane: cross-builds the core and its tests with mingw-w64 and runs them under
# Wine with the Chinese code page (936) active, as on the players' systems.
#
#   scripts/test-windows.sh [--build-only | --test-only] [ctest arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
phase=all
case ${1:-} in
  --build-only) phase=build; shift ;;
  --test-only) phase=test; shift ;;
esac
cd "$root"

if [ "$phase" != test ]; then
  "$root/scripts/fetch-win-deps.sh"
  cmake --preset windows -DTAVRIN_REQUIRE_TEST_PEERS=ON >/dev/null
  cmake --build --preset windows
fi
[ "$phase" != build ] || exit 0
# The front end's windows need a display, and so does Wine from its first start on: a prefix
# made without one keeps a desktop that can hold no window. A virtual one unless there is one.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --test-only "$@"
fi

. "$root/scripts/lib/wine-env.sh" "$root/build/wine-prefix"
ctest --preset windows "$@"
