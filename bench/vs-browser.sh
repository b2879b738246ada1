#!/usr/bin/env bash
# The launcher against a browser on the same movie, side by side on one virtual display: the
# launcher (the game road from the verification address, bench/game_bench.cpp) and Debian's
# Chromium on the launcher's own player page (the same page, Ruffle files, options and
# Chinese font, bench/browser_page.cpp) served by the demo service. For each movie: the time
# to its first frame (its first call out of the player, the same hook in both) and the memory
# five seconds later (PSS of every process of each, so shared pages count once), medians of
# RUNS, and the ratios launcher/browser.
#   bench/vs-browser.sh [RUNS] [MOVIE.swf ...]
# The demo's two movies always run (the AS2 demo, the AS3 arena with its game server); other
# movies are played with no FlashVars. Installs chromium when it is missing.
. "$(dirname "$0")/common.sh"
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1600x1024x24" "$0" "$@"
fi
runs=5
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then runs=$1; shift; fi
if ! command -v chromium >/dev/null; then
  sudo=""; [ "$(id -u)" = 0 ] || sudo=sudo
  $sudo apt-get install -y -qq chromium >/dev/null ||
    { $sudo apt-get update -qq && $sudo apt-get install -y -qq chromium >/dev/null; }
fi
bench=$(bench_program bench/tavrin_game_bench)
page_writer=$(bench_program bench/tavrin_browser_page)
tool=$(bench_program src/tavrin-tool)
bench_work bench-vs-browser
bench_demo
bench_config_ini "$bench"
bench_ruffle "$bench"
export XDG_DATA_HOME="$work/data" XDG_STATE_HOME="$work/state"
# Both run without their sandboxes as root (Qt WebEngine's does not run as root).
sandbox=()
if [ "$(id -u)" = 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; sandbox=(--no-sandbox); fi
www=$work/site/www
mkdir -p "$www/bench"
ln -sfn "$root/build/native/src/ruffle" "$www/bench/ruffle"
session=0123456789abcdef0123456789abcdef

# pss_tree PID: the PSS of the process and all its descendants, KiB.
pss_tree() {
  local total=0 pid child
  pid=$1
  total=$(awk '/^Pss:/ {print $2}' "/proc/$pid/smaps_rollup" 2>/dev/null || echo 0)
  for child in $(cat /proc/"$pid"/task/*/children 2>/dev/null); do
    total=$((total + $(pss_tree "$child")))
  done
  echo "${total:-0}"
}

# browser_run URL: one run of Chromium on the page; prints "MS KIB".
browser_run() {
  local url=$1 before profile pid ms=""
  before=$(grep -c '/bench/first-frame' "$work/site/access.log" 2>/dev/null || true)
  profile=$(mktemp -d "$work/chromium-XXXX")
  # A process group of its own: the wrapper script, the browser and its helpers end together.
  setsid chromium "${sandbox[@]}" --user-data-dir="$profile" --no-first-run --no-default-browser-check \
    --disable-sync --disable-extensions --disable-component-update --password-store=basic \
    --autoplay-policy=no-user-gesture-required --window-size=1412,799 --app="$url" \
    >"$work/chromium.log" 2>&1 &
  pid=$!
  for _ in $(seq 600); do
    ms=$(grep '/bench/first-frame' "$work/site/access.log" 2>/dev/null | sed -n "$((before + 1))s/.*first-frame?ms=\([0-9]*\).*/\1/p")
    [ -n "$ms" ] && break
    sleep 0.1
  done
  if [ -n "$ms" ]; then
    sleep 5
    echo "$ms $(pss_tree "$pid")"
  fi
  kill -- -"$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  for _ in $(seq 50); do pgrep -g "$pid" >/dev/null || break; sleep 0.1; done
  rm -rf "$profile" 2>/dev/null || true
}

# launcher_run SERVER: one run of the launcher's game road; prints "MS KIB".
launcher_run() {
  "$bench" "$1" 2>/dev/null | awk '/verification_to_first_frame_ms/ {ms=$2} /memory_while_playing_kib/ {kib=$2} END {if (ms != "" && kib != "") print ms, kib}'
}

rows=""
measure() { # NAME SERVER
  local name=$1 server=$2 client movie flashvars line
  client=$("$tool" config --ini "$(dirname "$bench")/config.ini" --cookie "tavrin_session=$session" \
    --client "$demo_origin/game/verify?server=$server")
  movie=$(sed -n 's/^mainFlash=//p' <<<"$client")
  flashvars=$(sed -n 's/^flashVars=//p' <<<"$client")
  "$page_writer" "$www/bench" "$demo_origin" "$movie" "$flashvars" "$demo_origin/bench/ruffle/" \
    "$root/src/ui/scripts/flash_page.js"
  : > "$work/launcher-$name" && : > "$work/browser-$name"
  for _ in $(seq "$runs"); do
    line=$(launcher_run "$server"); [ -z "$line" ] || echo "$line" >> "$work/launcher-$name"
    line=$(browser_run "$demo_origin/bench/index.html"); [ -z "$line" ] || echo "$line" >> "$work/browser-$name"
  done
  local lms lkib bms bkib
  lms=$(cut -d' ' -f1 "$work/launcher-$name" | median); lkib=$(cut -d' ' -f2 "$work/launcher-$name" | median)
  bms=$(cut -d' ' -f1 "$work/browser-$name" | median); bkib=$(cut -d' ' -f2 "$work/browser-$name" | median)
  echo "$name: launcher $(wc -l < "$work/launcher-$name") runs, browser $(wc -l < "$work/browser-$name") runs" >&2
  rows+="| $name | ${lms:-?} ms | ${bms:-?} ms | $(ratio "$lms" "$bms") | $(( ${lkib:-0} / 1024 )) MiB | $(( ${bkib:-0} / 1024 )) MiB | $(ratio "$lkib" "$bkib") |"$'\n'
}
ratio() { [ -n "$1" ] && [ -n "$2" ] && [ "$2" != 0 ] && awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2fx", a / b}' || echo "?"; }

measure "demo (AS2)" 1
measure "arena (AS3)" 3
# Other movies: served by the demo service and named by its open server's configuration.
n=0
for file in "$@"; do
  n=$((n + 1))
  cp "$file" "$www/bench/movie-$n.swf"
  sed -i -e "s|mainFlash=\"[^\"]*\"|mainFlash=\"$demo_origin/bench/movie-$n.swf\"|" \
    -e 's|flashVars="[^"]*"|flashVars=""|' "$www/game/client-open.xml"
  measure "$(basename "$file")" 1
done

echo "Chromium $(chromium --version 2>/dev/null | awk '{print $2}'), Ruffle $(sed -n 's/.*"version":"\([^"]*\)".*/\1/p' "$root/build/ruffle/node_modules/@ruffle-rs/ruffle/package.json" 2>/dev/null | head -n 1); $(nproc) cores; $runs runs each (medians)"
printf '| movie | launcher: to first frame | browser: to first frame | ratio | launcher: memory | browser: memory | ratio |\n'
printf '|---|---|---|---|---|---|---|\n%s' "$rows"
