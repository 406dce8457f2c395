#!/usr/bin/env bash
# The gallery window's cost, on a private 1280x800 Xvfb with Mesa's llvmpipe. The
# desktop views are paused throughout, so what is measured is the gallery's own.
# Closed (started as at login): CPU use and wake-ups per second. Open: the frames it
# drew and CPU use per second with the stage (1020x660 at 30 fps) and sixteen
# thumbnails (118x72 at 12 fps) running, next to the same pictures rendered bare by
# the offscreen benchmark at the same sizes and rates.
#
# Usage: bench/bench_gallery.sh [EFFECT] [SECONDS]     (build first: scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
effect=${1:-halvane}
seconds=${2:-20}
tavel=${TAVEL:-build/tavel}
bare=build/bench/bench_render
[ -x "$tavel" ] && [ -x "$bare" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }

settings=$(printf '{"globalShaderID":"%s","idleAnimateMinutes":0,"fps":30,"syncLockScreen":false}' "$effect")
. scripts/session.sh 1280x800 "$settings"
start_tavel --background
"$tavel" pause >/dev/null
sleep 3
gallery() { "$tavel" status | awk -F': ' '/^gallery:/ {print $2}'; }
gallery_frames() { "$tavel" status | awk '/^gallery: shown,/ {print $3}'; }

closed_state=$(gallery)
c0=$(cpu_ticks); w0=$(switches); t0=$(date +%s.%N)
sleep "$seconds"
c1=$(cpu_ticks); w1=$(switches); t1=$(date +%s.%N)

"$tavel" >/dev/null 2>&1  # a second start opens the gallery
sleep 15                   # sixteen programs compile in the background, then settle
f2=$(gallery_frames); c2=$(cpu_ticks); t2=$(date +%s.%N)
sleep "$seconds"
f3=$(gallery_frames); c3=$(cpu_ticks); t3=$(date +%s.%N)
"$tavel" quit >/dev/null || true
wait "$app" || true
app=

stage_ms=$("$bare" --only "$effect" --size 1020x660 --frames 30 | awk -v e="$effect" '$1 == e {print $4}')
thumbs_ms=$("$bare" --size 118x72 --frames 12 | awk 'NF == 4 && $2 ~ /^[0-9.]+$/ {s += $4} END {print s}')
awk -v c0="$c0" -v c1="$c1" -v w0="$w0" -v w1="$w1" -v t0="$t0" -v t1="$t1" \
    -v f2="$f2" -v f3="$f3" -v c2="$c2" -v c3="$c3" -v t2="$t2" -v t3="$t3" -v hz="$hz" \
    -v stage="$stage_ms" -v thumbs="$thumbs_ms" -v e="$effect" -v state="$closed_state" 'BEGIN {
  closed = t1 - t0; open = t3 - t2
  printf "effect %s on the stage; desktop views paused\n", e
  printf "closed (%s): CPU %.3f%% of a core, %.1f wake-ups/s (all threads)\n", state, \
    (c1 - c0) / hz / closed * 100, (w1 - w0) / closed
  cpu = (c3 - c2) / hz / open * 1000
  printf "open: %.1f gallery frames/s, CPU %.0f ms per second (%.0f%% of a core)\n", \
    (f3 - f2) / open, cpu, cpu / 10
  b = stage * 30 + thumbs * 12
  printf "bare offscreen: stage %.1f ms x 30 + thumbnails %.1f ms x 12 = %.0f ms per second\n", \
    stage, thumbs, b
  printf "gallery over bare: %+.0f%%\n", (cpu / b - 1) * 100
}'
