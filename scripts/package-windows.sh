#!/usr/bin/env bash
# An operator's Windows installer in one command: their config.ini, name, publisher, icon,
# version, the WebView2 loader (and, if they ship it, Microsoft's runtime bootstrapper), their
# update key and their signing command. Builds in build/windows-package (or --build DIR),
# again whenever an input changed, and copies the installer and the updater's program (for
# update packages) to --out.
#
#   scripts/package-windows.sh --config FILE --loader WebView2Loader.dll [options]
#     --name NAME            what players see (installer, shortcuts, Apps & features); Tavrin
#     --publisher NAME       the publisher Apps & features names
#     --icon FILE.ico        the program's and the installer's icon
#     --version X[.Y[.Z]]    the build's version; X is what the update service compares
#     --bootstrapper FILE    MicrosoftEdgeWebview2Setup.exe, run where the runtime is missing
#     --update-key HEX       the Ed25519 key update descriptions must be signed with
#     --sign COMMAND         signs the file it is given in place (scripts/sign-osslsigncode.sh)
#     --test-build           allows a build without the loader (players could not run it)
#     --build DIR, --out DIR where to build (build/windows-package) and to put the result (.)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
usage() { sed -n '7,17p' "$0" | sed 's/^#//' >&2; exit 2; }
absolute() { [ -e "$1" ] || { echo "package-windows.sh: no such file: $1" >&2; exit 2; }; readlink -f "$1"; }
build=$root/build/windows-package out=$PWD test_build=0 loader="" config=""
defines=()
while [ $# -gt 0 ]; do
  [ $# -ge 2 ] || [ "$1" = --test-build ] || usage
  case $1 in
    --config) config=$(absolute "$2") ;;
    --loader) loader=$(absolute "$2") ;;
    --name) defines+=("-DTAVRIN_PRODUCT_NAME=$2") ;;
    --publisher) defines+=("-DTAVRIN_PUBLISHER=$2") ;;
    --icon) defines+=("-DTAVRIN_ICON=$(absolute "$2")") ;;
    --version) defines+=("-DTAVRIN_VERSION=$2") ;;
    --bootstrapper) defines+=("-DTAVRIN_WEBVIEW2_BOOTSTRAPPER=$(absolute "$2")") ;;
    --update-key) defines+=("-DTAVRIN_UPDATE_PUBLIC_KEY=$2") ;;
    --sign) defines+=("-DTAVRIN_SIGN_COMMAND=$(absolute "$2")") ;;
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
cd "$root"
scripts/fetch-win-deps.sh
cmake --preset windows -B "$build" -DTAVRIN_BUILD_TESTS=OFF -DTAVRIN_BUILD_BENCH=OFF \
  "-DTAVRIN_CONFIG_INI=$config" "-DTAVRIN_WEBVIEW2_LOADER=$loader" "${defines[@]}" >/dev/null
cmake --build "$build" --target tavrin_installer tavrin-update
mkdir -p "$out"
installer=$(ls -t "$build"/tavrin-setup-*.exe | head -1)
cp "$installer" "$build/src/tavrin-update.exe" "$out/"
echo "package-windows.sh: $out/$(basename "$installer") and $out/tavrin-update.exe"
