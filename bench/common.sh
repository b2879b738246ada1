# shellcheck shell=bash
# Sourced first by the benchmark scripts beside it: . "$(dirname "$0")/common.sh"
# Sets strict mode and $root (the source tree), and gives the steps they share. Their programs
# come from the native build.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Prints the path of a program of the native build (PATH below build/native, such as
# src/tavrin-tool). When it is not built, says so and fails, which ends the script:
#   tool=$(bench_program src/tavrin-tool)
bench_program() { # PATH
  local program="$root/build/native/$1"
  [ -x "$program" ] || { echo "build first: cmake --build --preset native" >&2; exit 1; }
  echo "$program"
}

# Sets $work to build/DIR and makes it, emptied first; with --keep, what is there stays.
bench_work() { # DIR [--keep]
  work="$root/build/$1"
  [ "${2:-}" = --keep ] || rm -rf "$work"
  mkdir -p "$work"
}

# Starts the demo operator service in $work for as long as the script runs, and sets
# $demo_origin and $demo_pid (tools/demo-site/start-background.sh).
bench_demo() {
  . "$root/tools/demo-site/start-background.sh" "$work"
}

# Writes the config.ini beside PROGRAM that points it at the demo service.
bench_config_ini() { # PROGRAM
  printf '[config]\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\n' "$demo_origin" \
    > "$(dirname "$1")/config.ini"
}

# Puts the native build's Flash player (ruffle/) beside PROGRAM.
bench_ruffle() { # PROGRAM
  ln -sfn "$root/build/native/src/ruffle" "$(dirname "$1")/ruffle"
}

# Runs SCRIPT with bash on a virtual display; as root, with the browser's sandbox off (Qt
# WebEngine's sandbox does not run as root).
run_on_display() { # SCRIPT
  (
    [ "$(id -u)" != 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
    xvfb-run -a -s "-screen 0 1280x1024x24" bash "$1"
  )
}

# The median of the numbers on standard input, one a line (of an even count, the lower one).
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
