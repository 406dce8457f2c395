#!/usr/bin/env bash
# The CPU budget on a software renderer: tavel on a private Xvfb (Mesa llvmpipe) with one
# 1920x1080 monitor, 30 fps at full quality requested, for each of the heaviest effects,
# once with the default budget and once with --cpu-budget 0. After SETTLE seconds (10)
# it measures for SECONDS (20): the process's CPU share of one core, the scale and frame
# rate the views run at (from `tavel status`), and the frames drawn a second. The goal:
# within 10 % of the budget, at least 5 fps.
#
# The heaviest effects are found with the offscreen benchmark (CPU ms per frame at
# 960x540); EFFECTS="a b" measures those instead. TAVEL=path measures another build.
#
# Usage: bench/bench_budget.sh [SECONDS]     (build first: scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
settle=${SETTLE:-10}
count=${COUNT:-4}
tavel=${TAVEL:-build/tavel}
bare=build/bench/bench_render
[ -x "$tavel" ] && [ -x "$bare" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }

if [ -z "${EFFECTS:-}" ]; then
  # Rows after the header: effect, compile ms, wall ms/frame, CPU ms/frame.
  ranked=$("$bare" --size 960x540 --frames 5 |
    awk 'f && NF == 4 && $4 + 0 > 0 {print $4, $1} /^effect/ {f = 1}' | sort -rn | head -n "$count")
  echo "heaviest offscreen at 960x540, CPU ms/frame:" $(awk '{printf "%s %s,", $2, $1}' <<<"$ranked")
  EFFECTS=$(awk '{print $2}' <<<"$ranked" | tr '\n' ' ')
fi
echo "effects: $EFFECTS"

settings() {
  printf '{"globalShaderID":"%s","idleAnimateMinutes":0,"fps":30,"retinaQuality":true,"syncLockScreen":false}' "$1"
}
. scripts/session.sh 1920x1080 "$(settings halvane)"

frames() { "$tavel" status | awk '/ frames,/ {gsub(",", "", $4); s += $4} END {print s}'; }

printf '\n%-12s %-8s %9s %7s %7s %9s  %s\n' effect budget "cpu %" scale "fps cap" "drawn fps" goal
for effect in $EFFECTS; do
  for budget in default 0; do
    settings "$effect" > "$XDG_CONFIG_HOME/io.tavel.Tavel/marlowen.settings.v2"
    if [ "$budget" = default ]; then start_tavel --background; else start_tavel --background --cpu-budget 0; fi
    sleep "$settle"
    f0=$(frames); c0=$(cpu_ticks); t0=$(date +%s.%N)
    sleep "$seconds"
    f1=$(frames); c1=$(cpu_ticks); t1=$(date +%s.%N)
    line=$("$tavel" status | grep '^cpu budget:')
    "$tavel" quit || true
    wait "$app" || true
    app=
    limits=$(sed -n 's/.*views at scale \([0-9.]*\), \([0-9]*\) fps.*/\1 \2/p' <<<"$line")
    [ -n "$limits" ] || limits="1.00 30"
    awk -v e="$effect" -v b="$budget" -v f0="$f0" -v f1="$f1" -v c0="$c0" -v c1="$c1" \
        -v t0="$t0" -v t1="$t1" -v hz="$hz" -v limits="$limits" 'BEGIN {
      split(limits, l, " "); run = t1 - t0
      share = (c1 - c0) / hz / run * 100; fps = (f1 - f0) / run
      goal = "-"
      if (b == "default") goal = (share >= 22.5 && share <= 27.5 && fps >= 5) ? "met" : "missed"
      printf "%-12s %-8s %9.1f %7.2f %7d %9.1f  %s\n", e, b, share, l[1], l[2], fps, goal
    }'
  done
done
echo
echo "$line" | sed 's/, views at.*//'
