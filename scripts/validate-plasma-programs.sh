#!/usr/bin/env bash
# Checks every effect program translated for the Plasma wallpaper plugin (see
# cmake/plasma_programs.cmake) with glslangValidator, in both languages Qt 5's
# ShaderEffect may compile it as: desktop GLSL 1.10 and GLSL ES 1.00. Every effect in
# src/effects/programs must have one.
# Usage: validate-plasma-programs.sh SHADERS_FOLDER   (build/share/plasma/wallpapers/ID/contents/shaders)
set -euo pipefail
sources=$(cd "$(dirname "$0")/../src/effects/programs" && pwd)
shaders=${1:?usage: validate-plasma-programs.sh SHADERS_FOLDER}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for part in "$sources"/*.glsl; do
  name=$(basename "$part" .glsl)
  case $name in prelude|vertex) continue ;; esac
  program="$shaders/$name.frag"
  if [ ! -f "$program" ]; then
    echo "FAIL $name: no translated program ($program)"; status=1; continue
  fi
  for language in "desktop -d" "es"; do
    set -- $language
    # glslangValidator takes the stage from the name, and no #version means 1.10 with -d
    # and ES 1.00 without it.
    cp "$program" "$work/$name.frag"
    if glslangValidator ${2:-} "$work/$name.frag" > "$work/log"; then
      echo "ok   $name ($1)"
    else
      echo "FAIL $name ($1)"; cat "$work/log"; status=1
    fi
  done
done
exit $status
