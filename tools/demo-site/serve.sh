#!/usr/bin/env bash
# Serves the demo operator service on 127.0.0.1 until stopped (Ctrl+C, or the parent's
# kill). Usage: serve.sh [PORT] [RUNDIR]. Port 0 or none picks a free port. Prints
# "ready http://127.0.0.1:PORT" once the service answers. The game server of the AS3 demo
# (game_server.py) runs beside it on another free port, named in /game/verify?server=3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
port=${1:-0}
run=${2:-$(mktemp -d /tmp/tavrin-demo.XXXXXX)}
if [ "$port" = 0 ]; then
  # A free port below the system's range for ports it hands out (32768 and up on Linux): nginx
  # binds it a moment later, and meanwhile any connection or listener of a test running
  # beside this one would get its port from that range.
  port=$(python3 -c '
import random, socket
for _ in range(200):
    port = random.randrange(20000, 32000)
    s = socket.socket()
    try:
        s.bind(("127.0.0.1", port))
    except OSError:
        continue
    finally:
        s.close()
    print(port)
    break')
fi
origin="http://127.0.0.1:$port"

mkdir -p "$run/tmp"
rm -rf "$run/www"

# The game server of the ActionScript 3 demo runs beside nginx, on a port of its own; it also
# ends by itself should this script be killed outright.
server=""
rm -f "$run/game.port"
python3 "$here/game_server.py" --port-file "$run/game.port" 2>>"$run/game-server.log" &
game=$!
stop() {
  kill $game $server 2>/dev/null || true
  wait $game $server 2>/dev/null || true
}
trap stop EXIT
trap 'exit 143' INT TERM
# The bounds of this script's waits are for a machine that is very busy (tests beside a build),
# not for speed: every wait ends as soon as what it waits for is there.
for _ in $(seq 600); do
  [ -s "$run/game.port" ] && break
  kill -0 $game 2>/dev/null || { cat "$run/game-server.log" >&2; exit 1; }
  sleep 0.05
done
gameport=$(cat "$run/game.port" 2>/dev/null || true)
[ -n "$gameport" ] || { echo "the game server did not start; see $run/game-server.log" >&2; exit 1; }

cp -r "$here/www" "$run/www"
# The update service: it offers DEMO_UPDATE_VERSION, by default the launcher's own version
# (the project's major version in CMakeLists.txt), so there is no update; one more makes the
# launcher hand over to the updater. The updater package holds tavrin-update (DEMO_UPDATER,
# else the native build's) as "update"; the launcher package the demo's new launcher
# (DEMO_NEW_LAUNCHER, else update-src/new-launcher) and a note, and, with DEMO_UPDATE_CONFIG,
# that file as the config.ini whose service settings a signed update moves players to (@ORIGIN@
# in it becomes this service's address). DEMO_PROGRAM_SUFFIX=.exe names them for Windows.
launcher_version=$(sed -n 's/^project(tavrin VERSION \([0-9]*\).*/\1/p' "$here/../../CMakeLists.txt")
mkdir -p "$run/www/update"
printf '[update]\r\nversionNum=%s\r\nGameUrl=@ORIGIN@/update/Game.zip\r\nupdateUrl=@ORIGIN@/update/update.zip\r\n' \
  "${DEMO_UPDATE_VERSION:-$launcher_version}" > "$run/www/update/update.ini"
updater=${DEMO_UPDATER:-$here/../../build/native/src/tavrin-update}
[ -x "$updater" ] || echo "tavrin-update is not built ($updater): the update package holds no updater" >&2
moved_config=""
if [ -n "${DEMO_UPDATE_CONFIG:-}" ]; then
  moved_config=$run/moved-config.ini
  sed "s|@ORIGIN@|$origin|g" "$DEMO_UPDATE_CONFIG" > "$moved_config"
fi
python3 - "$run/www/update" "$updater" "${DEMO_NEW_LAUNCHER:-$here/update-src/new-launcher}" \
  "$here/update-src/whats-new.txt" "${DEMO_PROGRAM_SUFFIX:-}" "$moved_config" <<'PY'
import os, sys, zipfile
out, updater, launcher, note, suffix, config = sys.argv[1:]
packages = (("update.zip", ((updater, "update" + suffix, 0o755),)),
            ("Game.zip", ((launcher, "tavrin" + suffix, 0o755), (note, "whats-new.txt", 0o644),
                          (config, "config.ini", 0o644))))
for archive, members in packages:
    with zipfile.ZipFile(os.path.join(out, archive), "w", zipfile.ZIP_DEFLATED) as z:
        for source, stored, mode in members:
            if not source or not os.path.exists(source):
                continue
            info = zipfile.ZipInfo(stored, date_time=(2026, 12, 1, 12, 0, 0))
            info.create_system = 3
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, open(source, "rb").read())
PY
# The demo game movie is built, not stored.
python3 "$here/../demo-game/make_swf.py" "$run/www/game/demo.swf" >/dev/null
python3 "$here/../demo-game/make_swf.py" "$run/www/login/banner.swf" --banner >/dev/null
if command -v haxe >/dev/null 2>&1; then
  "$here/../demo-game/build-as3.sh" "$run/www/game/arena.swf"
else
  echo "haxe is not installed: the ActionScript 3 demo game (/game/arena.swf) is not served" >&2
fi
# Addresses in the documents point at wherever the service (and its game server) runs;
# inside an encoded attribute the origin is percent-encoded too.
origin_encoded=${origin//:/%3A}
origin_encoded=${origin_encoded//\//%2F}
grep -rlF -e '@ORIGIN' -e '@GAMEPORT@' "$run/www" |
  xargs -r sed -i -e "s|@ORIGIN@|$origin|g" -e "s|@ORIGIN_ENCODED@|$origin_encoded|g" -e "s|@GAMEPORT@|$gameport|g"
sed -e "s|@RUN@|$run|g" -e "s|@PORT@|$port|g" "$here/nginx.conf.in" > "$run/nginx.conf"

# The description names the packages' digests and sizes and is signed, as an operator's should be. The
# key is DEMO_UPDATE_KEY (a PEM Ed25519 private key) or one made for this run; its public
# half lands in update-key.pub, for launchers built with TAVRIN_UPDATE_PUBLIC_KEY or for
# `tavrin-tool update-check --public-key`.
update="$run/www/update"
printf 'GameSha256=%s\r\nupdateSha256=%s\r\nGameSize=%s\r\nupdateSize=%s\r\n' \
  "$(sha256sum < "$update/Game.zip" | cut -d' ' -f1)" \
  "$(sha256sum < "$update/update.zip" | cut -d' ' -f1)" \
  "$(stat -c %s "$update/Game.zip")" "$(stat -c %s "$update/update.zip")" >> "$update/update.ini"
tool=${TAVRIN_TOOL:-}
for candidate in "$here/../../build/native/src/tavrin-tool" "$here/../../build/core/src/tavrin-tool"; do
  [ -n "$tool" ] || { [ -x "$candidate" ] && tool=$candidate; }
done
key=${DEMO_UPDATE_KEY:-$run/update-key.pem}
[ -f "$key" ] || openssl genpkey -algorithm ed25519 -out "$key" 2>/dev/null
if [ -n "$tool" ]; then
  "$tool" sign-update "$key" "$update/update.ini" | sed -n 's/^publicKey=//p' > "$run/update-key.pub"
else
  echo "tavrin-tool is not built: the update description stays unsigned" >&2
fi

# What only this run's service answers: another service that took the port meanwhile does not
# pass for it.
token=$(python3 -c 'import secrets; print(secrets.token_hex(8))')
printf '%s' "$token" > "$run/www/ready-token.txt"

nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
"$nginx_bin" -p "$run" -c "$run/nginx.conf" -e "$run/error.log" &
server=$!
for _ in $(seq 300); do
  if python3 -c "import urllib.request,sys; sys.exit(urllib.request.urlopen(sys.argv[1], timeout=1).read().decode() != sys.argv[2])" \
       "$origin/ready-token.txt" "$token" 2>/dev/null; then
    echo "ready $origin"
    wait $server
    exit $?
  fi
  kill -0 $server 2>/dev/null || { cat "$run/error.log" >&2; exit 1; }
  sleep 0.1
done
echo "demo service did not start; see $run/error.log" >&2
exit 1
