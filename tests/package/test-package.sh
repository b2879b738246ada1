#!/usr/bin/env bash
# The Debian package on a machine that has never seen a build: makes the .deb, installs it
# into a fresh Debian 12 root with apt resolving its dependencies (no recommends), and starts
# the installed launcher there on a virtual display against the demo operator service on the
# host. It passes when the launcher has fetched the platform configuration (libcurl), asked
# the update service, shown the login page and played its Flash banner (the installed Ruffle).
#
#   tests/package/test-package.sh [BUILD_DIR]     (default build/native; needs root)
#
# The bootstrapped root (a tarball) and apt's downloaded packages stay in
# $TAVRIN_DEBIAN_CACHE (default build/package-test/cache), so only the first run downloads
# Debian; delete it to start over. The root gets the package and what apt resolves for it,
# nothing else: a dependency the package forgot to declare fails here.
# Exit status: 0 passed, 1 failed, 77 cannot run here (not root, no debootstrap).
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$src/build/native}" && pwd)
work=$src/build/package-test
cache=${TAVRIN_DEBIAN_CACHE:-$work/cache}
. "$src/scripts/lib/debian-root.sh"

started=$(date +%s)
step_started=""
step() { # what comes next
  local now
  now=$(date +%s)
  [ -z "$step_started" ] || echo "   ($((now - step_started)) s)"
  step_started=$now
  echo "== package test: $*"
}
fail() {
  echo "package test FAILED: $*" >&2
  exit 1
}
skip() {
  echo "package test skipped: $*"
  exit 77
}

[ "$(id -u)" = 0 ] || skip "it needs root (debootstrap, chroot, mounts)"
for tool in debootstrap chroot cpack; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/setup.sh test)"
done

# The demo operator service runs on the host (the root shares its network); its request log
# stays in build/package-test/demo for a look afterwards. Started first: should it fail, its
# own script stops it, and nothing is mounted yet.
demo_run=$work/demo
. "$src/tools/demo-site/start-background.sh" "$demo_run"
access_log=$demo_run/site/access.log

mkdir -p "$work"
run=$(mktemp -d "$work/run.XXXXXX")
rootfs=$run/root
launcher_group=""
step_pid=""

cleanup() {
  local rc=$?
  set +e
  [ -z "$step_pid" ] || { kill "$step_pid" 2>/dev/null; wait "$step_pid" 2>/dev/null; }
  if [ -n "$launcher_group" ]; then
    kill -- "-$launcher_group" 2>/dev/null
    for _ in $(seq 50); do kill -0 -- "-$launcher_group" 2>/dev/null || break; sleep 0.1; done
    kill -9 -- "-$launcher_group" 2>/dev/null
  fi
  [ -z "${demo_pid:-}" ] || { kill "$demo_pid" 2>/dev/null; wait "$demo_pid" 2>/dev/null; }
  # The root holds bind mounts of the host's /dev: it is deleted only once nothing is
  # mounted there any more.
  debian_root_remove "$rootfs" && rm -rf --one-file-system "$run"
  local outcome="ended with status $rc"
  [ "$rc" != 0 ] || outcome=passed
  echo "== package test: $outcome after $(($(date +%s) - started)) s"
  exit $rc
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# A long step runs in the background with its time limit, so an interrupt reaches the cleanup
# at once instead of after the step. Usage: bounded SECONDS LOG COMMAND...
bounded() {
  local seconds=$1 log=$2 rc=0
  shift 2
  timeout "$seconds" "$@" >>"$log" 2>&1 &
  step_pid=$!
  wait "$step_pid" || rc=$?
  step_pid=""
  [ "$rc" != 124 ] || echo "   timed out after $seconds s: $*" >&2
  return "$rc"
}
root_env=(chroot "$rootfs" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
  LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive)
in_root() { "${root_env[@]}" "$@"; }

step "the package (cpack in $build)"
# Only what the package holds (the icons only where ImageMagick made a target for them).
targets=(tavrin tavrin-tool tavrin-update)
cmake --build "$build" --target help | grep tavrin_icons >/dev/null && targets+=(tavrin_icons)
cmake --build "$build" -j2 --target "${targets[@]}" >"$run/build.log" 2>&1 ||
  { tail -20 "$run/build.log" >&2; fail "the build failed"; }
rm -f "$build"/package/tavrin_*.deb
(cd "$build" && cpack -G DEB) >"$run/cpack.log" 2>&1 ||
  { cat "$run/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$build"/package/tavrin_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "cpack made no tavrin_*.deb in $build/package"
echo "   $deb"

# What the package says about itself must hold up to the tools that read it.
staged=$run/staged
dpkg-deb -x "$deb" "$staged"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$staged"/usr/share/metainfo/*.metainfo.xml ||
    fail "the AppStream metainfo does not validate"
fi
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$staged"/usr/share/applications/*.desktop ||
    fail "the desktop entry does not validate"
fi

step "a fresh root"
tarball=$(debian_root_tarball "$cache" "$run/debootstrap.log") || fail "debootstrap failed twice"
debian_root_make "$tarball" "$rootfs" "$cache" || fail "the root could not be unpacked"

step "installing the package in the root (dpkg -i, then apt-get -f install)"
cp "$deb" "$rootfs/tmp/"
bounded 300 "$run/apt.log" "${root_env[@]}" apt-get update -qq ||
  { cat "$run/apt.log" >&2; fail "apt-get update failed in the root"; }
# dpkg leaves it unconfigured, its dependencies missing; apt then brings them.
in_root dpkg -i "/tmp/$(basename "$deb")" >>"$run/apt.log" 2>&1 || true
bounded 1800 "$run/apt.log" "${root_env[@]}" apt-get -f install -y -q --no-install-recommends ||
  { tail -30 "$run/apt.log" >&2; fail "apt-get could not satisfy the package's dependencies"; }
[ "$(in_root dpkg-query -W -f='${Status}' tavrin 2>/dev/null)" = "install ok installed" ] ||
  { tail -30 "$run/apt.log" >&2; fail "the package is not installed after apt-get -f install"; }

missing=$(in_root ldd /usr/libexec/tavrin/tavrin | grep 'not found' || true)
[ -z "$missing" ] || fail "libraries the launcher links are missing: $missing"
in_root ldconfig -p | grep 'libcurl\.so\.4 ' >/dev/null ||
  fail "libcurl.so.4 (loaded at run time) is not installed"
version=$(in_root tavrin --version) || fail "the installed tavrin --version failed"
echo "   installed: $version"

step "the virtual display in the root (xvfb, the test's own tool)"
bounded 900 "$run/apt.log" \
  "${root_env[@]}" apt-get install -y -q --no-install-recommends xvfb xauth ||
  { tail -30 "$run/apt.log" >&2; fail "xvfb could not be installed in the root"; }

step "pointing the installed launcher at the demo operator service ($demo_origin)"
# The operator's settings go where the package keeps them.
printf '[config]\r\nplatform=1\r\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\r\nupdateKey=%s\r\n' \
  "$demo_origin" "$(cat "$demo_run/site/update-key.pub")" >"$rootfs/etc/tavrin/config.ini"

step "the installed launcher on a virtual display in the root"
# A display number free on the host too: the chroot shares its abstract X sockets.
display=99
while [ -e "/tmp/.X$display-lock" ] || grep -q "@/tmp/.X11-unix/X$display\$" /proc/net/unix; do
  display=$((display + 1))
done
: >"$access_log"  # only this start's requests count
# The browser engine refuses to run as root with its sandbox on.
setsid "${root_env[@]}" QTWEBENGINE_DISABLE_SANDBOX=1 \
  xvfb-run -n "$display" -f /tmp/xauth -s "-screen 0 1280x800x24" tavrin >"$run/launcher.log" 2>&1 &
launcher_group=$!

seen() { grep -q "$1" "$access_log" 2>/dev/null; }
reached=""
for _ in $(seq 900); do
  seen '"GET /login/banner.swf .*QtWebEngine' && { reached=1; break; }
  kill -0 "$launcher_group" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$reached" ]; then
  echo "--- the launcher's output:" >&2
  tail -40 "$run/launcher.log" >&2
  echo "--- what the demo service was asked:" >&2
  cat "$access_log" >&2 2>/dev/null
  seen '"GET /rzt/.*"tavrin"' || fail "the launcher never fetched the platform configuration"
  seen '"GET /update/update.ini' || fail "the launcher never asked the update service"
  seen '"GET /login/index.html .*QtWebEngine' || fail "the launcher never loaded the login page"
  fail "the login page's Flash banner never played (Ruffle not found in the installed layout?)"
fi
echo "   the login page loaded and its banner played"

shots=$work/screenshots
mkdir -p "$shots"
if command -v import >/dev/null; then
  sleep 2  # the banner's first frames
  XAUTHORITY=$rootfs/tmp/xauth import -display ":$display" -window root "$shots/login.png" &&
    echo "   screenshot: $shots/login.png"
fi
cp "$run/launcher.log" "$shots/launcher.log"
