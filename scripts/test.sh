#!/usr/bin/env bash
# Builds and runs the whole test suite. GL tests use Mesa's llvmpipe when there is no GPU.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
ctest --preset default "$@"
