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

# Wine takes its ANSI code page from the locale; zh_CN gives 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
export LC_ALL=zh_CN.UTF-8
export WINEPREFIX="$root/build/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# Wine has no Chinese font of its own: the font tests cut this system's (drive Z: is /).
noto=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
[ -f "$noto" ] && export TAVRIN_TEST_CHINESE_FONT="Z:${noto//\//\\}|2"

# A Wine server kept up for the whole run makes each test start in milliseconds. The
# first boot of a fresh prefix takes a few seconds; later runs reuse it.
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k || true' EXIT
wine wineboot -i >/dev/null 2>&1 || true
ctest --preset windows "$@"
