#!/usr/bin/env bash
# Prepares what the Windows cross-build takes from Debian's source packages, since Debian
# ships no mingw-w64 builds of them: the sources of tinyxml2, of minizip (from zlib) and of
# libpsl (with the public suffix list of Debian's publicsuffix package compiled in) and of
# HarfBuzz (its subsetter, in one file), which the build compiles itself, and OpenSSL, built
# here as static libraries. All of it lands in build/win-deps/, which is never committed.
#
# The set is keyed by what goes into it: the versions of the five source packages, of the
# publicsuffix package and of the cross compiler, and this script's own text. It is made
# again only when that key changes. With a store folder (TAVRIN_WIN_DEPS_CACHE, or
# win-deps/ in TAVRIN_DEBIAN_CACHE, which CI sets) each finished set is also kept there as
# a tarball named by its key, so that a fresh checkout unpacks it in seconds instead of
# building OpenSSL for minutes; the store keeps the newest set only.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/build/win-deps"
store=${TAVRIN_WIN_DEPS_CACHE:-${TAVRIN_DEBIAN_CACHE:+$TAVRIN_DEBIAN_CACHE/win-deps}}
parts=(tinyxml2 minizip libpsl harfbuzz openssl)
mkdir -p "$deps"
# Two lanes starting at once must not both build OpenSSL into the same folder.
exec 9>"$deps/.lock"
flock 9

# The key file is written last: a set without one is unfinished, whatever it holds.
complete() {
  [ -f "$deps/key" ] && [ -f "$deps/tinyxml2/tinyxml2.cpp" ] && [ -f "$deps/minizip/unzip.c" ] &&
    [ -f "$deps/libpsl/suffixes_dafsa.h" ] && [ -f "$deps/harfbuzz/harfbuzz-subset.cc" ] &&
    [ -f "$deps/openssl/include/openssl/ssl.h" ]
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A private source list, so the machine's own apt configuration stays as it is. Its index
# is kept (in the store, or beside the set), so that a later run fetches only what changed.
cat > "$work/sources.list" <<LIST
deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main
LIST
lists=${store:-$deps}/apt-lists
mkdir -p "$lists/partial"
apt_opts=(-o Dir::Etc::SourceList="$work/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o Dir::State::Lists="$lists" -o APT::Sandbox::User=root -qq)
if ! apt-get "${apt_opts[@]}" update; then
  if complete; then
    echo "warning: Debian's source index could not be fetched; the Windows dependencies" \
      "made before ($(cat "$deps/key")) stay" >&2
    exit 0
  fi
  echo "Debian's source index could not be fetched: the Windows dependencies cannot be made" >&2
  exit 1
fi

source_version() { # PACKAGE: the newest version the index offers
  apt-cache "${apt_opts[@]}" showsrc "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1
}
recipe="openssl $(source_version openssl)
harfbuzz $(source_version harfbuzz)
libpsl $(source_version libpsl)
tinyxml2 $(source_version tinyxml2)
zlib $(source_version zlib)
publicsuffix $(dpkg-query -W -f='${Version}' publicsuffix 2>/dev/null || echo none)
compiler $(dpkg-query -W -f='${Version}' gcc-mingw-w64-x86-64-posix 2>/dev/null || echo none)
script $(sha256sum < "$0" | cut -c1-64)"
key=$(printf '%s\n' "$recipe" | sha256sum | cut -c1-16)
if complete && [ "$(cat "$deps/key")" = "$key" ]; then
  exit 0
fi

rm -f "$deps/key"
(cd "$deps" && rm -rf "${parts[@]}" openssl.new libpsl.new harfbuzz.new)
if [ -n "$store" ] && [ -s "$store/$key.tar" ] && tar -C "$deps" -xf "$store/$key.tar"; then
  printf '%s\n' "$recipe" > "$deps/recipe"
  echo "$key" > "$deps/key"
  echo "Windows dependencies $key from $store"
  exit 0
fi
# Not in the store (or its tarball is damaged): made here, from nothing.
(cd "$deps" && rm -rf "${parts[@]}")

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

mkdir -p "$work/harfbuzz-dl"
(cd "$work/harfbuzz-dl" && apt-get "${apt_opts[@]}" source --download-only harfbuzz)
# With Debian's patches, as for OpenSSL below.
dpkg-source -q -x --no-check "$work"/harfbuzz-dl/harfbuzz_*.dsc "$work/harfbuzz" >/dev/null
rm -rf "$deps/harfbuzz.new"
cp -r "$work/harfbuzz/src" "$deps/harfbuzz.new"
mv "$deps/harfbuzz.new" "$deps/harfbuzz"
echo "HarfBuzz sources in $deps/harfbuzz"

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

printf '%s\n' "$recipe" > "$deps/recipe"
echo "$key" > "$deps/key"
if [ -n "$store" ]; then
  mkdir -p "$store"
  if tar -C "$deps" -cf "$store/$key.tar.part" "${parts[@]}"; then
    mv "$store/$key.tar.part" "$store/$key.tar"
    find "$store" -maxdepth 1 -name '*.tar' ! -name "$key.tar" -delete
    echo "Windows dependencies $key kept in $store"
  else
    rm -f "$store/$key.tar.part"
    echo "warning: the Windows dependencies could not be kept in $store" >&2
  fi
fi
