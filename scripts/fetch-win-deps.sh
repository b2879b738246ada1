#!/usr/bin/env bash
# Prepares what the Windows cross-build takes from Debian's source packages, since Debian
# ships no mingw-w64 builds of them: the sources of tinyxml2, of minizip (from zlib) and of
# libpsl (with the public suffix list of Debian's publicsuffix package compiled in) and of
# HarfBuzz (its subsetter, in one file), which the build compiles itself, and OpenSSL, built here once as static libraries. All of
# it lands in build/win-deps/, which is never committed. Each part is skipped once present.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/build/win-deps"
mkdir -p "$deps"
# Two lanes starting at once must not both build OpenSSL into the same folder.
exec 9>"$deps/.lock"
flock 9

need_sources=1
[ -f "$deps/tinyxml2/tinyxml2.cpp" ] && [ -f "$deps/minizip/unzip.c" ] &&
  [ -f "$deps/libpsl/suffixes_dafsa.h" ] && need_sources=0
# The OpenSSL folder appears in one rename once complete, so its presence is enough.
need_openssl=1
[ -d "$deps/openssl" ] && need_openssl=0
need_harfbuzz=1
[ -f "$deps/harfbuzz/harfbuzz-subset.cc" ] && need_harfbuzz=0
[ $need_sources = 0 ] && [ $need_openssl = 0 ] && [ $need_harfbuzz = 0 ] && exit 0

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

if [ $need_sources = 1 ]; then
  (cd "$work" && apt-get "${apt_opts[@]}" source --download-only tinyxml2 zlib libpsl)
  mkdir -p "$deps/tinyxml2"
  tar -xf "$work"/tinyxml2_*.orig.tar.* -C "$work"
  tar -xf "$work"/zlib_*.orig.tar.* -C "$work"
  src=$(dirname "$(find "$work" -name tinyxml2.cpp -not -path '*/contrib/*' | head -n 1)")
  cp "$src/tinyxml2.cpp" "$src/tinyxml2.h" "$deps/tinyxml2/"
  mini=$(dirname "$(find "$work" -path '*contrib/minizip/unzip.c' | head -n 1)")
  mkdir -p "$deps/minizip/include/minizip"
  cp "$mini"/ioapi.c "$mini"/unzip.c "$mini"/zip.c "$deps/minizip/"
  cp "$mini"/ioapi.h "$mini"/unzip.h "$mini"/zip.h "$mini"/crypt.h "$deps/minizip/include/minizip/"
  # libpsl: its two C files, its header with the version filled in, and the list as the
  # compact graph its own tool makes from Debian's copy of the list.
  tar -xf "$work"/libpsl_*.orig.tar.* -C "$work"
  psl=$(dirname "$(find "$work" -path '*/src/psl.c' | head -n 1)")
  psl_version=$(cat "$psl/../version.txt" 2>/dev/null || ls "$work" | sed -n 's/^libpsl-\([0-9.]*\)$/\1/p')
  IFS=. read -r major minor patch <<<"$psl_version"
  mkdir -p "$deps/libpsl.new"
  cp "$psl/psl.c" "$psl/lookup_string_in_fixed_set.c" "$deps/libpsl.new/"
  sed -e "s/@LIBPSL_VERSION@/$psl_version/" -e "s/@LIBPSL_VERSION_MAJOR@/$major/" \
      -e "s/@LIBPSL_VERSION_MINOR@/$minor/" -e "s/@LIBPSL_VERSION_PATCH@/$patch/" \
      -e "s/@LIBPSL_VERSION_NUMBER@/$(printf '0x%02x%02x%02x' "$major" "$minor" "$patch")/" \
      "$psl/../include/libpsl.h.in" > "$deps/libpsl.new/libpsl.h"
  python3 "$psl/psl-make-dafsa" --output-format=cxx+ /usr/share/publicsuffix/public_suffix_list.dat \
    "$deps/libpsl.new/suffixes_dafsa.h" >/dev/null
  rm -rf "$deps/libpsl"
  mv "$deps/libpsl.new" "$deps/libpsl"
  echo "tinyxml2, minizip and libpsl $psl_version sources in $deps"
fi

if [ $need_harfbuzz = 1 ]; then
  mkdir -p "$work/harfbuzz-dl"
  (cd "$work/harfbuzz-dl" && apt-get "${apt_opts[@]}" source --download-only harfbuzz)
  # With Debian's patches, as for OpenSSL below.
  dpkg-source -q -x --no-check "$work"/harfbuzz-dl/harfbuzz_*.dsc "$work/harfbuzz" >/dev/null
  rm -rf "$deps/harfbuzz.new"
  cp -r "$work/harfbuzz/src" "$deps/harfbuzz.new"
  mv "$deps/harfbuzz.new" "$deps/harfbuzz"
  echo "HarfBuzz sources in $deps/harfbuzz"
fi

if [ $need_openssl = 1 ]; then
  mkdir -p "$work/openssl-dl"
  (cd "$work/openssl-dl" && apt-get "${apt_opts[@]}" source --download-only openssl)
  # Unpacked with Debian's patches, which carry the security fixes of the stable release.
  # apt has already checked the files against the signed archive index, hence --no-check.
  dpkg-source -q -x --no-check "$work"/openssl-dl/openssl_*.dsc "$work/openssl" >/dev/null
  version=$(cd "$work/openssl-dl" && ls openssl_*.dsc | sed 's/^openssl_\(.*\)\.dsc$/\1/')
  echo "Building OpenSSL $version for mingw-w64 (static, a few minutes)"
  start=$(date +%s)
  # Only the two static libraries: no DLLs, loadable modules, engines or test programs.
  # The legacy provider's old ciphers are not used by the launcher.
  (cd "$work/openssl" &&
   ./Configure mingw64 --cross-compile-prefix=x86_64-w64-mingw32- CC=gcc-posix \
     --prefix="$deps/openssl" --libdir=lib \
     no-shared no-module no-engine no-legacy no-tests no-makedepend >"$work/configure.log")
  # The folders compiled into the libraries: where openssl.cnf and modules would be looked
  # for at run time. The defaults would name this Linux build folder, which on Windows means
  # C:\work\..., a place any user may create. These are upstream's Windows defaults, which
  # only administrators can write to.
  dirs=(OPENSSLDIR="C:/Program Files/Common Files/SSL"
        ENGINESDIR="C:/Program Files/OpenSSL/lib/engines-3"
        MODULESDIR="C:/Program Files/OpenSSL/lib/ossl-modules")
  make -C "$work/openssl" -j2 -s build_libs "${dirs[@]}" >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log"; exit 1; }
  make -C "$work/openssl" -s install_dev "${dirs[@]}" DESTDIR="$work/stage" >/dev/null
  rmdir "$work/stage$deps/openssl/bin"  # where DLLs would go
  echo "$version" > "$work/stage$deps/openssl/debian-version"
  rm -rf "$deps/openssl.new"
  mv "$work/stage$deps/openssl" "$deps/openssl.new"
  mv "$deps/openssl.new" "$deps/openssl"
  echo "OpenSSL $version in $deps/openssl ($(($(date +%s) - start)) s)"
fi
