# Sourced by the scripts that run Windows programs under Wine: the environment of the Windows
# lane, with the Wine prefix in $1, and a Wine server kept up until the script ends (it is
# stopped then, so a script of its own wants a prefix of its own).
# Usage: . scripts/lib/wine-env.sh PREFIX

# Wine takes its ANSI code page from the locale; zh_CN gives 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf-\?8$'; then
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi
export LC_ALL=zh_CN.UTF-8
export WINEPREFIX="$1"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# Wine has no Chinese font of its own: the font tests cut this system's (drive Z: is /).
noto=/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc
[ -f "$noto" ] && export TAVRIN_TEST_CHINESE_FONT="Z:${noto//\//\\}|2"

# A Wine server kept up for the whole run makes each program start in milliseconds. The
# first boot of a fresh prefix takes a few seconds; later runs reuse it.
mkdir -p "$WINEPREFIX"
wineserver -p
trap 'wineserver -k || true' EXIT
wine wineboot -i >/dev/null 2>&1 || true
