#!/usr/bin/env bash
# Checks that every C++ source of the project is formatted as .clang-format says; names the
# files that are not (clang-format -i FILE fixes one). Exit status 1 when any drifts. It
# reads the tree itself, not git, so that a copy without git history is checked the same.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
drift=0
while IFS= read -r file; do
  if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file"
    drift=1
  fi
done < <(find . \( -path ./build -o -path ./.git -o -name node_modules \) -prune -o \
  \( -name '*.cpp' -o -name '*.h' \) -type f -print | sed 's|^\./||' | sort)
[ "$drift" = 0 ] && echo "every C++ source is formatted"
exit "$drift"
