#!/usr/bin/env bash
# Unpacks the sources the Windows cross-build compiles itself (Debian ships no mingw-w64
# builds of them): tinyxml2, and minizip from zlib's sources. They come from Debian's source
# packages and land in build/win-deps/, which is never committed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/build/win-deps"
[ -f "$deps/tinyxml2/tinyxml2.cpp" ] && [ -f "$deps/minizip/unzip.c" ] && exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A private source list, so the machine's own apt configuration stays as it is.
cat > "$work/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
LIST
mkdir -p "$work/lists/partial"
apt_opts=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o Dir::State::Lists="$work/lists" -o APT::Sandbox::User=root -qq)
apt-get "${apt_opts[@]}" update
(cd "$work" && apt-get "${apt_opts[@]}" source --download-only tinyxml2 zlib)

mkdir -p "$deps/tinyxml2"
tar -xf "$work"/tinyxml2_*.orig.tar.* -C "$work"
tar -xf "$work"/zlib_*.orig.tar.* -C "$work"
src=$(dirname "$(find "$work" -name tinyxml2.cpp -not -path '*/contrib/*' | head -n 1)")
cp "$src/tinyxml2.cpp" "$src/tinyxml2.h" "$deps/tinyxml2/"
mini=$(dirname "$(find "$work" -path '*contrib/minizip/unzip.c' | head -n 1)")
mkdir -p "$deps/minizip/include/minizip"
cp "$mini"/ioapi.c "$mini"/unzip.c "$mini"/zip.c "$deps/minizip/"
cp "$mini"/ioapi.h "$mini"/unzip.h "$mini"/zip.h "$mini"/crypt.h "$deps/minizip/include/minizip/"
echo "tinyxml2 and minizip sources in $deps"
