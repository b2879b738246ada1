#!/usr/bin/env bash
# tavrin-tool update-check against the demo operator's update service (nginx): no update at
# the launcher's own version, and the whole hand-over, short of starting the updater, when
# the service offers more. Usage: update_check_test.sh TAVRIN_TOOL
set -uo pipefail
tool=$(readlink -f "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/check.sh"

run_check() { # version
  rm -rf "$work/site" "$work/data" "$work/serve.out"
  (
    export DEMO_UPDATE_VERSION=$1
    . "$root/tools/demo-site/start-background.sh" "$work"
    printf '[config]\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\n' "$demo_origin" > "$work/config.ini"
    "$tool" update-check --ini "$work/config.ini" --data "$work/data" > "$work/out"
  )
}

run_check 33
check "own version: exit status" 0 $?
check "own version: offered" "offeredVersion=33" "$(grep offeredVersion "$work/out")"
check "own version: no updater" "updater=" "$(grep '^updater=' "$work/out")"
check "own version: only the description" "update.ini" "$(ls "$work/data")"

run_check 34
check "newer version: exit status" 0 $?
check "newer version: offered" "offeredVersion=34" "$(grep offeredVersion "$work/out")"
check "newer version: updater" "updater=$work/data/Update/update" "$(grep '^updater=' "$work/out")"
check "newer version: argument" "argument=$tool*$work/data/Game/*tavrin-tool" "$(grep '^argument=' "$work/out")"
check "newer version: staged launcher is executable" yes \
  "$([ -x "$work/data/Game/tavrin-tool" ] && echo yes || echo no)"
finish
