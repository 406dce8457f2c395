#!/usr/bin/env bash
# Builds the fuzz targets (the fuzz preset: clang's libFuzzer with AddressSanitizer and
# UBSan) and runs each for a bounded time on a copy of its seed corpus, so that a run
# leaves the tree as it was. Fails when any target finds a crash, a leak or undefined
# behaviour; the input that did it is kept in build-fuzz/crashes/.
#
# Usage: scripts/fuzz.sh [SECONDS]   (per target; default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
if [ ! -f build-fuzz/build.ninja ]; then
  cmake --preset fuzz
fi
cmake --build --preset fuzz

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p build-fuzz/crashes
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
for source in tests/fuzz/fuzz_*.cpp; do
  target=$(basename "$source" .cpp)
  corpus="$work/$target"
  mkdir "$corpus"
  if [ -d "tests/fuzz/corpus/$target" ]; then cp -r "tests/fuzz/corpus/$target/." "$corpus"; fi
  log="$work/$target.log"
  if "build-fuzz/tests/fuzz/$target" "$corpus" -max_total_time="$seconds" -rss_limit_mb=2048 \
    -timeout=10 -print_final_stats=1 -artifact_prefix="build-fuzz/crashes/$target-" \
    > "$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "$target: ok, $runs runs, $rate per second"
  else
    tail -n 40 "$log" >&2
    echo "$target: FAILED (input in build-fuzz/crashes/)" >&2
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: ${#failed[@]} target(s) failed: ${failed[*]}" >&2
  exit 1
fi
