#!/usr/bin/env bash
# Builds tavel if needed and runs it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh > /dev/null
exec build/tavel "$@"
