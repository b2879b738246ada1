#!/usr/bin/env bash
# Installs what Tavrin needs on Debian 12 and builds it. Safe to run again: it installs only
# what is missing and rebuilds only what changed.
#
#   scripts/setup.sh demo   # what building and running the demo needs (scripts/run-demo.sh)
#   scripts/setup.sh test   # that, and every test lane's tools; builds everything (the default)
#   scripts/setup.sh test --no-build   # installs only (test-all.sh builds lane by lane)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
profile=${1:-test}
build=1
[ "${2:-}" != --no-build ] || build=0
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo

demo_packages=(
  # build (through the compiler cache); the native preset also configures the tests, so
  # GoogleTest comes along
  cmake ninja-build g++ ccache pkg-config python3
  libtinyxml2-dev libcurl4-openssl-dev libminizip-dev zlib1g-dev libssl-dev openssl ca-certificates
  libpsl-dev publicsuffix nlohmann-json3-dev libharfbuzz-dev
  googletest libgtest-dev libgmock-dev
  # user interface; without a display the demo runs on a virtual one (with a compositor),
  # clicks its way through and takes screenshots
  qt6-base-dev qt6-webengine-dev qt6-webchannel-dev libfontconfig-dev libxcb1-dev xvfb xauth
  xcompmgr imagemagick fonts-noto-cjk qt6-translations-l10n xdotool x11-utils
  # the demo operator service (its ActionScript 3 game is built with Haxe); pgrep waits for
  # a launcher that an update restarted
  haxe nginx-light procps
)
test_packages=(
  # formatting and the fuzz targets (clang, libFuzzer)
  clang-format clang libclang-rt-14-dev
  # a window manager, for the test of the window system's own move
  openbox
  # Windows lane: cross compilers and Wine with the Chinese locale; unpacking and building
  # OpenSSL from Debian's source package
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine64 locales
  dpkg-dev perl make xz-utils
  # the Windows installer, and the signing of an operator's
  nsis osslsigncode
  # the real peers of the download tests, and the archives the tests make
  dante-server microsocks zip curl
  # the benchmarks compare downloads with curl and extraction with Info-ZIP and bsdtar
  libbenchmark-dev time bc unzip libarchive-tools
  # the package test: the .deb (cpack reads the programs with file and dpkg-shlibdeps), a
  # Debian root to install into, and checks of the desktop files
  file debootstrap appstream desktop-file-utils
)
case $profile in
  demo) packages=("${demo_packages[@]}") ;;
  test) packages=("${demo_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: scripts/setup.sh [demo|test]" >&2; exit 2 ;;
esac
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

[ "$build" = 1 ] || exit 0
if [ "$profile" = demo ]; then
  cmake --preset native >/dev/null
else
  # Every test peer is installed now: one that goes missing fails here, not silently. A
  # warning fails the tests' build, as in the core lane, whose objects then are the same as
  # these and come from the compiler cache.
  cmake --preset native -DTAVRIN_REQUIRE_TEST_PEERS=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
fi
if [ "$profile" = demo ]; then
  # The launcher, the tool (which signs the demo's update description) and the updater (the
  # demo's update package holds it); the tests wait.
  cmake --build --preset native --target tavrin tavrin-tool tavrin-update
else
  cmake --build --preset native
fi
