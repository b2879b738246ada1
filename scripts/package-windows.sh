#!/usr/bin/env bash
# An operator's Windows installer in one command: their config.ini, name, publisher, icon,
# version, the WebView2 loader (and, if they ship it, Microsoft's runtime bootstrapper), their
# update key and their signing command. Builds in build/windows-package (or --build DIR),
# again whenever an input changed, and copies the installer and update.exe, the updater for
# update packages (stripped, and signed like the rest), to --out.
#
#   scripts/package-windows.sh --config FILE --loader WebView2Loader.dll [options]
#     --name NAME            what players see (installer, shortcuts, Apps & features, the
#                            windows' captions); Tavrin
#     --publisher NAME       the publisher Apps & features names
#     --icon FILE.ico        the program's and the installer's icon
#     --program-name NAME    the launcher's file name (tavrin): its log, profile and data folder
#                            take it, so give each of your games its own (A-Z a-z 0-9 _ -)
#     --artwork DIR          pictures named as in res/ (146.png ...) that replace ours, each
#                            of the size of the one it replaces (res/README.md lists them)
#     --version X[.Y[.Z]]    the build's version; X is what the update service compares
#     --bootstrapper FILE    MicrosoftEdgeWebview2Setup.exe, run where the runtime is missing
#     --update-key HEX       the Ed25519 key update descriptions must be signed with
#     --sign COMMAND         signs the file it is given in place (scripts/sign-osslsigncode.sh)
#     --test-build           allows a build without the loader (players could not run it)
#     --build DIR, --out DIR where to build (build/windows-package) and to put the result (.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage() { sed -n '7,22p' "$0" | sed 's/^#//' >&2; exit 2; }
absolute() { [ -e "$1" ] || { echo "package-windows.sh: no such file: $1" >&2; exit 2; }; readlink -f "$1"; }
build=$root/build/windows-package out=$PWD test_build=0 loader="" config=""
declare -A given=()
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || [ "$1" = --test-build ] || usage
  case $1 in
    --config) config=$(absolute "$2") ;;
    --loader) loader=$(absolute "$2") ;;
    --name) given[TAVRIN_PRODUCT_NAME]=$2 ;;
    --publisher) given[TAVRIN_PUBLISHER]=$2 ;;
    --icon) given[TAVRIN_ICON]=$(absolute "$2") ;;
    --program-name) given[TAVRIN_PROGRAM_NAME]=$2 ;;
    --artwork) given[TAVRIN_ARTWORK]=$(absolute "$2") ;;
    --version) given[TAVRIN_VERSION]=$2 ;;
    --bootstrapper) given[TAVRIN_WEBVIEW2_BOOTSTRAPPER]=$(absolute "$2") ;;
    --update-key) given[TAVRIN_UPDATE_PUBLIC_KEY]=$2 ;;
    --sign) given[TAVRIN_SIGN_COMMAND]=$(absolute "$2") ;;
    --build) build=$(readlink -m "$2") ;;
    --out) out=$(readlink -m "$2") ;;
    --test-build) test_build=1; shift; continue ;;
    *) usage ;;
  esac
  shift 2
done
[ -n "$config" ] || { echo "package-windows.sh: --config is required: players need your configUrl" >&2; exit 2; }
if [ -z "$loader" ] && [ "$test_build" != 1 ]; then
  echo "package-windows.sh: --loader is required: without WebView2Loader.dll no player can start" \
       "the launcher (--test-build builds one anyway, for trying it)" >&2
  exit 2
fi
# Every setting each time: one left out goes back to its default rather than keep what an
# earlier build of this folder was given.
defines=()
for setting in TAVRIN_PRODUCT_NAME TAVRIN_PUBLISHER TAVRIN_ICON TAVRIN_PROGRAM_NAME TAVRIN_ARTWORK TAVRIN_VERSION \
               TAVRIN_WEBVIEW2_BOOTSTRAPPER TAVRIN_UPDATE_PUBLIC_KEY TAVRIN_SIGN_COMMAND; do
  if [ -n "${given[$setting]+set}" ]; then
    defines+=("-D$setting=${given[$setting]}")
  else
    defines+=("-U$setting")
  fi
done
cd "$root"
scripts/fetch-win-deps.sh
cmake --preset windows -B "$build" -DTAVRIN_BUILD_TESTS=OFF -DTAVRIN_BUILD_BENCH=OFF \
  "-DTAVRIN_CONFIG_INI=$config" "-DTAVRIN_WEBVIEW2_LOADER=$loader" "${defines[@]}" >/dev/null
# Signed anew each time: the certificate (in the environment) may be a new one.
[ -z "${given[TAVRIN_SIGN_COMMAND]+set}" ] || rm -rf "$build/src/shipped"
cmake --build "$build" --target tavrin_installer tavrin_shipped_updater
mkdir -p "$out"
installer=$(ls -t "$build"/tavrin-setup-*.exe | head -1)
cp "$installer" "$build/src/shipped/update.exe" "$out/"
echo "package-windows.sh: $out/$(basename "$installer") and $out/update.exe (for update.zip)"
