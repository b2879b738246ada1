#!/usr/bin/env bash
# tavrin-tool update-check against the demo operator's update service (nginx): no update at
# the launcher's own version, and the whole hand-over, short of starting the updater, when
# the service offers more. Usage: update_check_test.sh TAVRIN_TOOL
set -uo pipefail
tool=$(readlink -f "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/check.sh"

export TAVRIN_TOOL=$tool
# serve_and_check VERSION TAMPER [update-check options]: TAMPER runs once the service is up;
# the tool's output lands in $work/out, its errors in $work/err (and on ours).
serve_and_check() {
  local version=$1 tamper=$2
  shift 2
  rm -rf "$work/site" "$work/serve.out"
  (
    export DEMO_UPDATE_VERSION=$version
    . "$root/tools/demo-site/start-background.sh" "$work"
    $tamper
    printf '[config]\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\n' "$demo_origin" > "$work/config.ini"
    "$tool" update-check --ini "$work/config.ini" "$@" > "$work/out" 2> "$work/err"
    status=$?
    cat "$work/err" >&2
    exit $status
  )
}
# run_check VERSION [TAMPER [update-check options]]: in $work/data, made anew.
run_check() {
  local version=$1 tamper=${2:-true}
  shift $(($# < 2 ? $# : 2))
  rm -rf "$work/data"
  serve_and_check "$version" "$tamper" --data "$work/data" "$@"
}

# The tool is built with the launcher's version.
own=$("$tool" --version | sed -n 's/^tavrin-tool \([0-9]*\)\..*/\1/p')
check "the tool says its version" 1 "$([ -n "$own" ] && echo 1)"

newer=$((own + 1))
run_check "$own"
check "own version: exit status" 0 $?
check "own version: offered" "offeredVersion=$own" "$(grep offeredVersion "$work/out")"
check "own version: no updater" "updater=" "$(grep '^updater=' "$work/out")"
check "own version: only the description" "update.ini" "$(ls "$work/data")"

run_check "$newer"
check "newer version: exit status" 0 $?
check "newer version: offered" "offeredVersion=$newer" "$(grep offeredVersion "$work/out")"
check "newer version: updater" "updater=$work/data/Update/update" "$(grep '^updater=' "$work/out")"
check "newer version: argument" "argument=$tool*$work/data/Game/*tavrin-tool" "$(grep '^argument=' "$work/out")"
check "newer version: staged launcher is executable" yes \
  "$([ -x "$work/data/Game/tavrin-tool" ] && echo yes || echo no)"
# The demo service signs its description and names the packages' digests.
# Signed: the service's key as operators give it, in config.ini beside the launcher.
signed_check() { # version tamper
  local version=$1 tamper=$2
  rm -rf "$work/site" "$work/data" "$work/serve.out"
  (
    export DEMO_UPDATE_VERSION=$version
    . "$root/tools/demo-site/start-background.sh" "$work"
    $tamper
    printf '[config]\nconfigUrl=%s/rzt/?c=index&a=micnf&yid=\nupdateKey=%s\n' "$demo_origin" \
      "$(cat "$work/site/update-key.pub")" > "$work/config.ini"
    "$tool" update-check --ini "$work/config.ini" --data "$work/data" > "$work/out"
  )
}
www="$work/site/www/update"
signed_check "$newer" true
check "signed: checked" "signature=checked" "$(grep '^signature=' "$work/out")"
check "signed: no refusal" "refusal=" "$(grep '^refusal=' "$work/out")"
check "signed: updater" "updater=$work/data/Update/update" "$(grep '^updater=' "$work/out")"

append_to_description() { printf 'note=changed\r\n' >> "$www/update.ini"; }
signed_check "$newer" append_to_description
check "changed after signing: exit status" 1 $?
check "changed after signing: refused, sign again" \
  "refusal=the update description's signature is for another description: it was signed before the description's last edit; sign it again" \
  "$(grep '^refusal=' "$work/out")"
check "changed after signing: signature failed" "signature=failed" "$(grep '^signature=' "$work/out")"
check "changed after signing: the version offered" "offeredVersion=$newer" "$(grep '^offeredVersion=' "$work/out")"
check "changed after signing: nothing unpacked" "update.ini update.ini.sig" "$(ls "$work/data" | xargs)"

# The launcher has another key than the one the service signs with.
another_key() {
  openssl genpkey -algorithm ed25519 -out "$work/other.pem" 2>/dev/null
  printf '[update]\n' > "$work/other.ini"
  "$tool" sign-update "$work/other.pem" "$work/other.ini" 2>/dev/null |
    sed -n 's/^publicKey=//p' > "$work/site/update-key.pub"
}
signed_check "$newer" another_key
check "another key: refused, naming both" 1 \
  "$(grep -c '^refusal=the update description was signed with another key (signedBy=[0-9a-f]\{64\}) than this launcher.s ([0-9a-f]\{64\})' "$work/out")"

# A key that is no key is refused where it is given.
"$tool" update-check --ini "$work/config.ini" --public-key 1234 > /dev/null 2> "$work/err"
check "not a key: usage" 2 $?
check "not a key: said" 1 "$(grep -c 'is not a key: 64 hex digits' "$work/err")"

# Another file of the same length: only the digest tells.
replace_launcher_package() {
  head -c "$(stat -c %s "$www/Game.zip")" /dev/zero > "$www/Game.zip.new" && mv "$www/Game.zip.new" "$www/Game.zip"
}
run_check "$newer" replace_launcher_package
check "package digest differs: refused" \
  "refusal=the launcher package does not match its SHA-256 digest" "$(grep '^refusal=' "$work/out")"
check "package digest differs: no updater" "updater=" "$(grep '^updater=' "$work/out")"
check "package digest differs: nothing unpacked" "no" "$([ -e "$work/data/Game" ] && echo yes || echo no)"

grow_launcher_package() { printf 'more' >> "$www/Game.zip"; }
run_check "$newer" grow_launcher_package
check "package larger than declared: refused" 1 \
  "$(grep -c '^refusal=the launcher package is larger than the [0-9]* bytes the description declares' "$work/out")"

# A service that has no description is a failed check, not "no update".
drop_description() { rm "$www/update.ini"; }
run_check "$newer" drop_description
check "no description: exit status" 1 $?
check "no description: said" "description=not fetched" "$(grep '^description=' "$work/out")"

drop_signature() { rm "$www/update.ini.sig"; }
signed_check "$newer" drop_signature
check "no signature: refused" \
  "refusal=the update description's signature could not be fetched" "$(grep '^refusal=' "$work/out")"

# Without --data: a new private folder in TMPDIR, removed afterwards.
mkdir -p "$work/tmp"
TMPDIR="$work/tmp" serve_and_check "$newer" true
check "own folder: exit status" 0 $?
check "own folder: offered" "offeredVersion=$newer" "$(grep offeredVersion "$work/out")"
folder=$(sed -n 's/^folder=//p' "$work/out")
check "own folder: a new one in TMPDIR" "$work/tmp/tavrin-update-check-XXXXXX/" \
  "$(printf '%s' "$folder" | sed 's/-[A-Za-z0-9]\{6\}\/$/-XXXXXX\//')"
check "own folder: removed afterwards" "" "$(ls -A "$work/tmp")"

# The check empties the --data folder: one that holds anything needs --force; an empty one
# does not.
keepsake() { mkdir -p "$work/data"; echo mine > "$work/data/keep.txt"; }
run_check "$newer" keepsake
check "full folder: usage status" 2 $?
check "full folder: kept" mine "$(cat "$work/data/keep.txt")"
check "full folder: says why" 1 "$(grep -c -- '--force' "$work/err")"
check "full folder: nothing fetched" "" "$(cat "$work/out")"
run_check "$newer" keepsake --force
check "full folder with --force: exit status" 0 $?
check "full folder with --force: emptied" no "$([ -e "$work/data/keep.txt" ] && echo yes || echo no)"
check "full folder with --force: updater" "updater=$work/data/Update/update" "$(grep '^updater=' "$work/out")"
empty_folder() { mkdir -p "$work/data"; }
run_check "$newer" empty_folder
check "empty folder: exit status" 0 $?

finish
