#!/usr/bin/env bash
# The running application's cost: tavel on a private Xvfb with one 1920x1080 monitor,
# 20 s running and 20 s paused. Prints CPU milliseconds per frame next to the same
# effect rendered bare by the offscreen benchmark at the same size, and CPU use and
# wake-ups (context switches of all threads) per second while paused.
#
# MONITORS=2 splits the screen into two 960x1080 monitors (one frame of each counts as
# one frame at 1920x1080); SESSION_KIND=wayland runs it on a headless sway's 1920x1080
# output instead of Xvfb; TAVEL=path measures another build of tavel.
#
# Usage: bench/bench_app.sh [EFFECT] [SECONDS]     (build first: scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
effect=${1:-halvane}
seconds=${2:-20}
monitors=${MONITORS:-1}
tavel=${TAVEL:-build/tavel}
bare=build/bench/bench_render
[ -x "$tavel" ] && [ -x "$bare" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }

# Started as at login: the gallery stays closed and costs nothing.
settings=$(printf '{"globalShaderID":"%s","idleAnimateMinutes":0,"fps":30,"syncLockScreen":false}' "$effect")
. scripts/session.sh 1920x1080 "$settings"
if [ "$monitors" = 2 ] && [ "${SESSION_KIND:-x11}" = x11 ]; then
  xrandr --setmonitor LEFT 960/254x1080/286+0+0 screen >/dev/null
  xrandr --setmonitor RIGHT 960/254x1080/286+960+0 none >/dev/null
fi
start_tavel --background
sleep 3  # compile and settle

frames() { "$tavel" status | awk '/ frames,/ {gsub(",", "", $4); s += $4} END {print s}'; }

f0=$(frames); c0=$(cpu_ticks); t0=$(date +%s.%N)
sleep "$seconds"
f1=$(frames); c1=$(cpu_ticks); t1=$(date +%s.%N)

"$tavel" pause
sleep 2
c2=$(cpu_ticks); w2=$(switches); t2=$(date +%s.%N)
sleep "$seconds"
c3=$(cpu_ticks); w3=$(switches); t3=$(date +%s.%N)
"$tavel" quit || true
wait "$app" || true
app=

bare_ms=$("$bare" --only "$effect" --size 1920x1080 --frames 30 | awk -v e="$effect" '$1 == e {print $4}')
awk -v f0="$f0" -v f1="$f1" -v c0="$c0" -v c1="$c1" -v t0="$t0" -v t1="$t1" \
    -v c2="$c2" -v c3="$c3" -v w2="$w2" -v w3="$w3" -v t2="$t2" -v t3="$t3" \
    -v hz="$hz" -v bare="$bare_ms" -v e="$effect" -v m="$monitors" -v kind="${SESSION_KIND:-x11}" 'BEGIN {
  frames = (f1 - f0) / m; run = t1 - t0; paused = t3 - t2
  app = (c1 - c0) / hz * 1000 / frames
  printf "effect %s, 1920x1080 as %d monitor(s) (%s), 30 fps requested\n", e, m, kind
  printf "running: %d frames in %.1f s (%.1f fps), CPU %.1f ms/frame\n", frames, run, frames / run, app
  printf "bare offscreen render: CPU %.1f ms/frame -> application overhead %+.1f%%\n", bare, (app / bare - 1) * 100
  printf "paused: CPU %.3f%% of a core, %.1f wake-ups/s (context switches, all threads)\n", \
    (c3 - c2) / hz / paused * 100, (w3 - w2) / paused
}'
