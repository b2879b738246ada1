#!/usr/bin/env bash
# Checks that includes run one way through the layers of src/: a folder may include only
# itself and the folders below it, and nothing built into the core includes Qt. Names each
# include that goes the wrong way; exit status 1 when there is one. The build enforces the
# core's layers too (each layer's include root shows only the layers below it, see
# src/CMakeLists.txt); this says it before a build, and covers the tool, the windows and Qt.
#
#   platform   system services and the helpers on them
#   app        start-up values, configuration, the program's paths    (platform)
#   net        the downloader, socket policies                          (platform)
#   update     the update check and its archives                       (platform app net)
#   game       the game movie's connections to its servers             (platform app net)
#   flow       the launcher's road and the windows' rules, no window  (platform app net update)
#   tool       tavrin-tool                                             (every core folder)
#   updater    tavrin-update                                           (platform app update)
#   ui         the Qt windows                                          (everything but tool and win)
#   win        the Win32 windows                                       (everything but tool and ui)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root/src"

declare -A allowed=(
  [platform]="platform"
  [app]="app platform"
  [net]="net platform"
  [update]="update app net platform"
  [game]="game app net platform"
  [flow]="flow app net update platform"
  [tool]="tool app net update game flow platform"
  [updater]="updater app update platform"
  [ui]="ui flow app net update game platform"
  [win]="win flow app net update game platform"
)
qt_free="platform app net update game flow tool updater win"

layer_of() { # path inside src/ -> its layer
  case $1 in
    */*) echo "${1%%/*}" ;;
    *) echo main ;;
  esac
}

wrong=0
while IFS= read -r file; do
  from=$(layer_of "$file")
  [ "$from" = main ] && continue
  while IFS=: read -r line included; do
    to=$(layer_of "$included")
    if [[ " ${allowed[$from]} " != *" $to "* ]]; then
      echo "src/$file:$line: $from includes $included ($to is not below it)"
      wrong=1
    fi
  done < <(grep -nE '^#include "' "$file" | sed -E 's/^([0-9]+):#include "([^"]+)".*/\1:\2/')
  if [[ " $qt_free " == *" $from "* ]] && grep -nE '^#include <Q[A-Za-z]+' "$file" >/dev/null; then
    echo "src/$file: the core includes Qt"
    wrong=1
  fi
done < <(find . \( -name '*.cpp' -o -name '*.h' \) -type f | sed 's|^\./||' | sort)
[ "$wrong" = 0 ] && echo "every include runs down the layers"
exit "$wrong"
