#!/usr/bin/env bash
# `tavel export` against the two-step way of making the same movie on the same machine
# in the same run: the same frames rendered to a raw BGRA file by the offscreen benchmark
# (bench_render --raw, the encoder's own frame times), then encoded by the ffmpeg command
# line with the same codec settings (libx265 with the encoder's preset and parameters,
# 28 Mbit/s, BT.709 4:2:0, tag hvc1, the track counting in frames). Prints wall and
# processor seconds of each, and the PSNR between the two movies as a check that both
# hold the same frames.
#
# ROUNDS=N repeats the comparison, alternating which way goes first. On a machine where
# hevc_nvenc opens, the export uses it while the two-step way stays on libx265.
#
# Usage: bench/bench_export.sh [EFFECT] [SECONDS] [FPS] [WxH]   (build first: scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
effect=${1:-halvane}
seconds=${2:-5}
fps=${3:-30}
size=${4:-1920x1080}
rounds=${ROUNDS:-1}
tavel=${TAVEL:-build/tavel}
render=build/bench/bench_render
[ -x "$tavel" ] && [ -x "$render" ] || { echo "build first: scripts/build.sh" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed (scripts/install-deps.sh)" >&2; exit 2; }
writer=src/app/integration/movie_writer.cpp
preset=$(sed -n 's/.*kX265Preset = "\([a-z]*\)";.*/\1/p' "$writer")
x265_params=$(sed -n 's/.*kX265Params = "\([^"]*\)";.*/\1/p' "$writer")
[ -n "$preset" ] && [ -n "$x265_params" ] ||
  { echo "cannot find the encoder's libx265 settings in $writer" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs a command quietly; appends "wall user+sys" seconds to $work/times.
timed() {
  local TIMEFORMAT='%R %U %S'
  { time "$@" >"$work/out" 2>&1 || { cat "$work/out" >&2; exit 1; }; } 2>>"$work/times"
}

export_movie() {
  timed "$tavel" export "$effect" -o "$work/export.mov" --size "$size" --seconds "$seconds" \
    --fps "$fps"
}
two_steps() {
  timed "$render" --raw "$work/frames.bgra" --only "$effect" --size "$size" \
    --seconds "$seconds" --fps "$fps"
  timed ffmpeg -nostdin -v error -y -f rawvideo -pix_fmt bgra -s "$size" -r "$fps" \
    -i "$work/frames.bgra" -vf scale=flags=bilinear:out_color_matrix=bt709:out_range=tv -pix_fmt yuv420p \
    -c:v libx265 -preset "$preset" -b:v 28M -x265-params "$x265_params" \
    -color_range tv -colorspace bt709 -color_primaries bt709 -color_trc bt709 \
    -tag:v hvc1 -video_track_timescale "$fps" -f mov "$work/two-steps.mov"
  rm -f "$work/frames.bgra"
}

echo "effect $effect, $size, $seconds s at $fps fps; libx265 $preset, $x265_params; $(nproc) processors"
for round in $(seq "$rounds"); do
  : >"$work/times"
  if [ $((round % 2)) = 1 ]; then export_movie; two_steps; else two_steps; export_movie; fi
  if [ $((round % 2)) = 1 ]; then order="export first"; else order="two steps first"; fi
  psnr=$(ffmpeg -nostdin -hide_banner -i "$work/export.mov" -i "$work/two-steps.mov" \
    -lavfi psnr -f null - 2>&1 | sed -n 's/.*PSNR.*average:\([0-9.inf]*\).*/\1/p')
  # times: the export's line, then render and encode (or the two steps, then the export).
  awk -v round="$round" -v order="$order" -v psnr="$psnr" '
    { wall[NR] = $1; cpu[NR] = $2 + $3 }
    END {
      if (order == "export first") { e = 1; r = 2; f = 3 } else { r = 1; f = 2; e = 3 }
      two = wall[r] + wall[f]
      printf "round %d (%s)\n", round, order
      printf "  tavel export:           %6.1f s wall, %6.1f s processor\n", wall[e], cpu[e]
      printf "  render to raw frames:   %6.1f s wall, %6.1f s processor\n", wall[r], cpu[r]
      printf "  ffmpeg encode:          %6.1f s wall, %6.1f s processor\n", wall[f], cpu[f]
      printf "  two steps together:     %6.1f s wall, %6.1f s processor\n", two, cpu[r] + cpu[f]
      printf "  export / two steps:     %6.2f (wall)   movies agree: PSNR %s dB\n", wall[e] / two, psnr
      printf "%f %f\n", wall[e] / two, cpu[e] / (cpu[r] + cpu[f]) >> ratios
    }' ratios="$work/ratios" "$work/times"
done
if [ "$rounds" -gt 1 ]; then
  sort -n "$work/ratios" | awk '{ wall[NR] = $1 } END {
    printf "median export / two steps over %d rounds: %.2f (wall)\n", NR, \
      NR % 2 ? wall[(NR + 1) / 2] : (wall[NR / 2] + wall[NR / 2 + 1]) / 2 }'
  sort -g -k2 "$work/ratios" | awk '{ cpu[NR] = $2 } END {
    printf "median export / two steps over %d rounds: %.2f (processor)\n", NR, \
      NR % 2 ? cpu[(NR + 1) / 2] : (cpu[NR / 2] + cpu[NR / 2 + 1]) / 2 }'
fi
