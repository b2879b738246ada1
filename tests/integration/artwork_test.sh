#!/usr/bin/env bash
# An operator's artwork folder (TAVRIN_ARTWORK) as the build gathers it: pictures of the
# launcher's own names and sizes replace ours (and drop our @2x of them); an unknown name or a
# picture of another size stops the build with a message saying which.
# Usage: artwork_test.sh
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
. "$(dirname "$0")/check.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

gather() { # ARTWORK: prints the gathered list, or the build's complaint
  cat > "$work/gather.cmake" <<CMAKE
cmake_minimum_required(VERSION 3.25)
include("$root/cmake/TavrinArtwork.cmake")
tavrin_gather_pictures("$root/res" "$1" "$work/out")
message("\${TAVRIN_PICTURES}")
CMAKE
  cmake -P "$work/gather.cmake" 2>&1
}
picture() { # FILE WIDTH HEIGHT (the extension chooses the format; BMP top-down for a change)
  python3 - "$@" <<'PY'
import struct, sys, zlib
name, w, h = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
if name.endswith(".png"):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + b"\x80\x20\x20" * w for _ in range(h))
    data = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))
else:
    stride = (w * 3 + 3) & ~3
    pixels = b"\x20" * stride * h
    data = (b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
            + struct.pack("<IiiHHIIiiII", 40, w, -h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0) + pixels)
open(name, "wb").write(data)
PY
}

art=$work/art
mkdir -p "$art"
picture "$art/146.png" 862 543
picture "$art/139.bmp" 10 28
listed=$(gather "$art")
check "the operator's login picture goes in" same "$(cmp -s "$art/146.png" "$work/out/res/146.png" && echo same)"
check "the operator's title strip goes in" same "$(cmp -s "$art/139.bmp" "$work/out/res/139.bmp" && echo same)"
check "our sharper login picture is dropped" 0 "$(grep -c '146@2x' <<< "$listed")"
check "the pictures not replaced are ours" same "$(cmp -s "$root/res/147.png" "$work/out/res/147.png" && echo same)"
check "every picture of ours is listed but the dropped ones" \
  $(($(ls "$root"/res/*.png "$root"/res/*.bmp | wc -l) - 2)) "$(tr ';' '\n' <<< "$listed" | grep -c '/res/')"

picture "$art/146.png" 800 543
check "a picture of another size stops the build" 1 \
  "$(gather "$art" | tr '\n' ' ' | grep -c '146.png is 800x543 pixels; the launcher lays its window out *for 862x543')"
rm "$art/146.png"
picture "$art/139.bmp" 10 30
check "a BMP of another size too" 1 "$(gather "$art" | grep -c '139.bmp is 10x30 pixels')"
rm "$art/139.bmp"
picture "$art/logo.png" 10 10
check "an unknown name stops the build" 1 "$(gather "$art" | grep -c 'logo.png is not one of the launcher')"
finish
