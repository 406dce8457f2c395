#!/usr/bin/env bash
# Checks every effect program with glslangValidator, assembled exactly as the
# renderers assemble it: prelude, one line feed, the effect's fragment part.
# Usage: validate-programs.sh [EFFECT.glsl ...]   (default: all of them)
set -euo pipefail
dir=$(cd "$(dirname "$0")/../src/effects/programs" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if [ $# -eq 0 ]; then
  set -- $(ls "$dir"/*.glsl | grep -v -e '/prelude.glsl$' -e '/vertex.glsl$')
fi

status=0
cp "$dir/vertex.glsl" "$work/vertex.vert"
glslangValidator "$work/vertex.vert" > "$work/log" || { cat "$work/log"; status=1; }
for part in "$@"; do
  name=$(basename "$part" .glsl)
  { cat "$dir/prelude.glsl"; printf '\n'; cat "$part"; } > "$work/$name.frag"
  if glslangValidator "$work/$name.frag" > "$work/log"; then
    echo "ok   $name"
  else
    echo "FAIL $name"; cat "$work/log"; status=1
  fi
done
exit $status
