#!/usr/bin/env bash
# Checks that every C++ source the project tracks is formatted as .clang-format says; names
# the files that are not (clang-format -i FILE fixes one). Exit status 1 when any drifts.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
drift=0
while IFS= read -r file; do
  if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file"
    drift=1
  fi
done < <(git ls-files '*.cpp' '*.h')
[ "$drift" = 0 ] && echo "every C++ source is formatted"
exit "$drift"
