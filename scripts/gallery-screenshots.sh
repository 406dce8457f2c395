#!/usr/bin/env bash
# Screenshots for the documentation, taken on a private 1280x800 Xvfb: three effects on
# the desktop (scaled to half size), then the gallery window on each, its Motion tab and
# the settings popover (no window manager, so the window sits centred at its first
# size, 1020x660 at +130+70).
#
# Usage: scripts/gallery-screenshots.sh [OUTDIR]     (default docs/; build first)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
tavel=${TAVEL:-build/tavel}
[ -x "$tavel" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }
mkdir -p "$out"

# Places inside the window, in points (scale 1): the Motion tab and the gear of the rail.
motion_tab=(827 198)
gear=(47 377)
left=130 top=70

grab() {  # grab NAME: the window's area of the screen, as a PNG
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size 1020x660 -i "$DISPLAY+$left,$top" \
    -frames:v 1 "$out/$1.png"
}
click() {  # click X Y, in window points
  xdotool mousemove $((left + $1)) $((top + $2)) click 1
}

for effect in halvane filament nebulamesh; do
  . scripts/session.sh 1280x800 "{\"idleAnimateMinutes\":0,\"globalShaderID\":\"$effect\"}"
  start_tavel --background  # the desktop alone first
  sleep 4
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size 1280x800 -i "$DISPLAY" -frames:v 1 \
    -vf scale=640:400 "$out/desktop-$effect.png"
  "$tavel" >/dev/null 2>&1  # a second start opens the gallery
  sleep 15                  # the sixteen thumbnails compile in the background
  xdotool mousemove 1270 790  # the pointer off the window: no hover
  sleep 1
  grab "gallery-$effect"
  if [ "$effect" = halvane ]; then
    click "${motion_tab[@]}"
    sleep 1
    grab gallery-motion
    click "${gear[@]}"
    xdotool mousemove $((left + 560)) $((top + 300))  # off the gear: no tooltip
    sleep 1
    grab gallery-settings
  fi
  "$tavel" quit >/dev/null || true
  wait "$app" || true
  app=
  cleanup
  trap - EXIT
done
ls -l "$out"/gallery-*.png "$out"/desktop-*.png
