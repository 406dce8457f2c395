#!/usr/bin/env bash
# What one frame of an effect costs on KDE Plasma, drawn by Tavel's wallpaper plugin in
# plasmashell against Tavel's own layer surface on the same output, on the software
# renderer (Mesa llvmpipe). A private Plasma session (KWin --virtual with one WxH output,
# Xwayland, kactivitymanagerd, kded5, plasmashell) with tavel at FPS frames a second, no
# CPU budget. After SETTLE seconds (10) it measures for SECONDS (20), from /proc: the CPU
# time of plasmashell, tavel and KWin, and the frames drawn (plasmashell's scene graph
# frames from its render-loop timing log; tavel's from `tavel status`). First with the
# plugin drawing, then with plasmashell stopped, when Tavel's own surface draws. A third
# row: plasmashell with the person's image wallpaper and no Tavel, the idle floor.
#
# Usage: bench/bench_plasma.sh [SECONDS]   (EFFECT=tiles SIZE=1280x720 FPS=30; build first)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
settle=${SETTLE:-10}
effect=${EFFECT:-tiles}
size=${SIZE:-1280x720}
fps=${FPS:-30}
build=$(pwd)/build
tavel=$build/tavel
[ -x "$tavel" ] && [ -d "$build/share/plasma/wallpapers" ] || { echo "build first" >&2; exit 2; }
hz=$(getconf CLK_TCK)

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  wait 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/run" "$work/home/.config/io.tavel.Tavel"
chmod 700 "$work/run"
export HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland
export KDE_FULL_SESSION=true KDE_SESSION_VERSION=5
export XDG_DATA_DIRS=$build/share:/usr/local/share:/usr/share
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME DISPLAY WAYLAND_DISPLAY
printf '{"globalShaderID":"%s","idleAnimateMinutes":0,"fps":%d,"retinaQuality":true,"syncLockScreen":false}' \
  "$effect" "$fps" > "$HOME/.config/io.tavel.Tavel/marlowen.settings.v2"

dbus-daemon --session --nofork --address="unix:path=$work/run/bus" 2> /dev/null &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/bus
cp /usr/bin/kwin_wayland "$work/kwin_wayland"  # without the file capability
printf '#!/bin/sh\nprintf %%s "$DISPLAY" > %s/display\n' "$work" > "$work/session.sh"
chmod +x "$work/session.sh"
"$work/kwin_wayland" --virtual --xwayland --no-lockscreen --width "${size%x*}" \
  --height "${size#*x}" --socket wayland-bench "$work/session.sh" > "$work/kwin.log" 2>&1 &
kwin=$!
pids+=($kwin)
until [ -s "$work/display" ]; do sleep 0.2; done
export WAYLAND_DISPLAY=wayland-bench DISPLAY=$(cat "$work/display") QT_QPA_PLATFORM=wayland
/usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd > /dev/null 2>&1 &
pids+=($!)
kded5 > /dev/null 2>&1 &
pids+=($!)

start_shell() {
  QT_LOGGING_RULES="qt.scenegraph.time.renderloop.debug=true" plasmashell > "$work/shell.log" 2>&1 &
  shell=$!
  pids+=($shell)
  until qdbus org.kde.plasmashell /PlasmaShell > /dev/null 2>&1; do sleep 0.2; done
}
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
shell_frames() { grep -c "Frame rendered" "$work/shell.log" || true; }
tavel_frames() { "$tavel" status | awk '/ frames,/ {gsub(",", "", $4); s += $4} END {print s + 0}'; }

# One row: CPU of plasmashell, tavel and KWin over the window, frames of `frames`.
measure() {
  local label=$1 frames=$2 s0 s1 a0 a1 k0 k1 f0 f1 t0 t1
  sleep "$settle"
  s0=$([ -n "$shell" ] && ticks "$shell" || echo 0); a0=$([ -n "$app" ] && ticks "$app" || echo 0)
  k0=$(ticks "$kwin"); f0=$($frames); t0=$(date +%s.%N)
  sleep "$seconds"
  s1=$([ -n "$shell" ] && ticks "$shell" || echo 0); a1=$([ -n "$app" ] && ticks "$app" || echo 0)
  k1=$(ticks "$kwin"); f1=$($frames); t1=$(date +%s.%N)
  awk -v l="$label" -v s="$((s1 - s0))" -v a="$((a1 - a0))" -v k="$((k1 - k0))" \
      -v f="$((f1 - f0))" -v t0="$t0" -v t1="$t1" -v hz="$hz" 'BEGIN {
    run = t1 - t0
    printf "%-28s %8.1f %8.1f %8.1f", l, s / hz / run * 100, a / hz / run * 100, k / hz / run * 100
    if (f > 0) printf " %7.1f %10.1f %10.1f\n", f / run, (s + a) * 1000 / hz / f, (s + a + k) * 1000 / hz / f
    else printf " %7s %10s %10s\n", "-", "-", "-"
  }'
}

none() { echo 0; }
printf '%s at %s, %d fps requested, llvmpipe; CPU as %% of one core, ms of CPU per frame\n' \
  "$effect" "$size" "$fps"
printf '%-28s %8s %8s %8s %7s %10s %10s\n' "" plasma tavel kwin fps "ms/frame" "+kwin"
shell= app=
start_shell
measure "plasmashell, image, no Tavel" none
"$tavel" --background --cpu-budget 0 > "$work/tavel.log" 2>&1 &
app=$!
pids+=($app)
measure "plugin in plasmashell" shell_frames
kill "$shell"
wait "$shell" 2> /dev/null || true
shell=
measure "Tavel's own layer surface" tavel_frames
"$tavel" quit > /dev/null 2>&1 || true
