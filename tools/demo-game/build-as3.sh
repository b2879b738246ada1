#!/usr/bin/env bash
# Builds the ActionScript 3 demo game, "Tavrin 竞技场", from the Haxe sources in as3/.
# Usage: build-as3.sh OUTPUT.swf
# An AVM2 movie, Flash 11.5, stage 1000 x 600 at 30 frames a second on a dark background.
set -euo pipefail
if [ $# -ne 1 ] || [ -z "$1" ]; then
  echo "usage: $0 OUTPUT.swf" >&2
  exit 2
fi
if ! command -v haxe >/dev/null 2>&1; then
  echo "$0: haxe is not installed (Debian: apt-get install haxe); the AS3 demo game cannot be built" >&2
  exit 1
fi
here=$(cd "$(dirname "$0")" && pwd)
out=$1
mkdir -p "$(dirname "$out")"
haxe -cp "$here/as3" -main Main -swf "$out" -swf-version 11.5 -swf-header 1000:600:30:101820 -dce full \
  -D haxe-boot  # a fixed boot class name: the same sources give the same movie
