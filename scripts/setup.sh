#!/usr/bin/env bash
# Installs everything Tavrin needs on Debian 12 and builds the launcher. Safe to run again:
# it installs only what is missing and rebuilds only what changed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo

packages=(
  # build (clang for the fuzz targets)
  cmake ninja-build g++ pkg-config clang-format python3 curl clang libclang-rt-14-dev
  # core libraries and tests
  libtinyxml2-dev libcurl4-openssl-dev libminizip-dev zlib1g-dev libssl-dev openssl ca-certificates
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # user interface, and its tests on a virtual display (with and without a compositor)
  qt6-base-dev qt6-webengine-dev qt6-websockets-dev libfontconfig-dev libxcb1-dev xvfb xauth
  xcompmgr imagemagick fonts-noto-cjk qt6-translations-l10n
  xdotool x11-utils openbox
  # Windows lane: cross compilers and Wine with the Chinese locale; unpacking and building
  # OpenSSL from Debian's source package
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 locales
  dpkg-dev perl make
  # demo operator service (its ActionScript 3 game is built with Haxe) and the real peers of
  # the download tests
  haxe nginx-light dante-server microsocks time bc zip
  # the benchmarks compare extraction with Info-ZIP and bsdtar
  unzip libarchive-tools
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
fi

cd "$root"
# The Flash player the game movies run in: Ruffle from npm, at the version the lock file pins.
if ! cmp -s tools/ruffle/package-lock.json build/ruffle/package-lock.json; then
  command -v npm >/dev/null || { $sudo apt-get update -qq; $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq npm >/dev/null; }
  mkdir -p build/ruffle
  cp tools/ruffle/package.json tools/ruffle/package-lock.json build/ruffle/
  (cd build/ruffle && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
fi

cmake --preset native >/dev/null
cmake --build --preset native
