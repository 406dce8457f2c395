#!/usr/bin/env bash
# Installs the built tree into a temporary prefix and checks every installed file the way
# the desktop and the package tools read it: desktop entries, AppStream metainfo, manual
# pages, icons, the shell completion, the programs themselves, and that `tavel --help` and
# the manual list the same commands and options.
#
# Usage: test_install.sh BUILD_DIR   (after building; nothing is rebuilt)
set -euo pipefail
build=$(realpath "$1")
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# DESTDIR is honoured: everything lands below it, at the configured prefix.
DESTDIR="$tmp/stage" cmake --install "$build" --prefix /opt/tavel > /dev/null
[ -x "$tmp/stage/opt/tavel/bin/tavel" ] || fail "DESTDIR install has no bin/tavel"
[ -z "$(find "$tmp/stage" -mindepth 1 -maxdepth 1 ! -name opt)" ] || fail "DESTDIR install left its root"

prefix="$tmp/prefix"
cmake --install "$build" --prefix "$prefix" > /dev/null
app_id=$(sed -n 's/.*kAppBundleIdentifier = "\([^"]*\)".*/\1/p' \
  "$(dirname "$0")/../../src/platform/app_identity.h")
share="$prefix/share"

expected=(
  bin/tavel bin/halvane libexec/tavel/tavel-export
  "share/applications/$app_id.desktop" share/applications/screensavers/halvane.desktop
  "share/metainfo/$app_id.metainfo.xml" share/bash-completion/completions/tavel
  share/man/man1/tavel.1 share/man/man1/halvane.1
  "share/icons/hicolor/scalable/apps/$app_id.svg"
  "share/icons/hicolor/symbolic/apps/$app_id-symbolic.svg"
)
for size in 16 22 24 32 48 64 128 256 512; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
# The Plasma wallpaper plugin, with a program for every effect.
plugin="share/plasma/wallpapers/$app_id"
expected+=("$plugin/metadata.json" "$plugin/contents/config/main.xml"
  "$plugin/contents/ui/main.qml" "$plugin/contents/ui/effects.js")
for part in "$(dirname "$0")"/../../src/effects/programs/*.glsl; do
  name=$(basename "$part" .glsl)
  case $name in prelude | vertex) ;; *) expected+=("$plugin/contents/shaders/$name.frag") ;; esac
done
for file in "${expected[@]}"; do [ -f "$prefix/$file" ] || fail "not installed: $file"; done
unexpected=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort |
  comm -23 - <(printf '%s\n' "${expected[@]}" | sort))
[ -z "$unexpected" ] || fail "installed but not checked: $unexpected"

# plasmashell takes the package by its metadata: the structure and the id it is installed as.
grep -q '"KPackageStructure": "Plasma/Wallpaper"' "$prefix/$plugin/metadata.json" ||
  fail "the plugin's metadata does not say Plasma/Wallpaper"
grep -q "\"Id\": \"$app_id\"" "$prefix/$plugin/metadata.json" ||
  fail "the plugin's id is not $app_id"

# Desktop entries: valid (hints aside) and saying what the desktop needs.
validate() {
  local report
  report=$(desktop-file-validate "$1" 2>&1) || fail "desktop-file-validate $1: $report"
  if grep -v ': hint: ' <<< "$report" | grep -q .; then fail "desktop-file-validate $1: $report"; fi
}
entry="$share/applications/$app_id.desktop"
validate "$entry"
for line in "Name=Tavel" "Exec=tavel" "Icon=$app_id" "StartupWMClass=Tavel"; do
  grep -qx "$line" "$entry" || fail "$entry lacks $line"
done
grep -q '^Categories=..*' "$entry" && grep -q '^Keywords=..*' "$entry" ||
  fail "$entry lacks categories or keywords"
validate "$share/applications/screensavers/halvane.desktop"

# The installed saver entry is the text `tavel install-saver` writes, with halvane on the
# PATH in place of its full path.
export XDG_DATA_HOME="$tmp/data" XDG_CONFIG_HOME="$tmp/config" HOME="$tmp/home"
"$prefix/bin/tavel" install-saver > /dev/null || fail "tavel install-saver"
written="$XDG_DATA_HOME/applications/screensavers/halvane.desktop"
diff <(sed "s|$prefix/bin/halvane|halvane|g" "$written") \
  "$share/applications/screensavers/halvane.desktop" || fail "the saver entries differ"

# "Launch at login" starts the installed tavel, in the background.
"$prefix/bin/tavel" login on || fail "tavel login on"
autostart="$XDG_CONFIG_HOME/autostart/$app_id.desktop"
grep -qx "Exec=$prefix/bin/tavel --background" "$autostart" || fail "autostart: $(cat "$autostart")"
validate "$autostart"
[ "$("$prefix/bin/tavel" login)" = on ] || fail "tavel login does not read back on"

report=$(appstreamcli validate --no-net "$share/metainfo/$app_id.metainfo.xml" 2>&1) ||
  fail "appstreamcli validate: $report"

for icon in "$share"/icons/hicolor/*x*/apps/"$app_id".png; do
  size=$(basename "$(dirname "$(dirname "$icon")")")
  # Width and height from the PNG header.
  actual=$(od -An -tu1 -j16 -N8 "$icon" | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$actual" = "$size" ] || fail "$icon is $actual"
done

# Manual pages: they render without a warning.
for page in tavel halvane; do
  warnings=$(MANWIDTH=80 man --warnings -l "$share/man/man1/$page.1" 2>&1 > /dev/null)
  [ -z "$warnings" ] || fail "man $page: $warnings"
done

"$prefix/bin/tavel" --version | grep -qx 'tavel [0-9.]*' || fail "installed tavel --version"
"$prefix/bin/halvane" --help | grep -q '^Usage: halvane' || fail "installed halvane --help"
# The installed tavel finds its movie exporter.
"$prefix/bin/tavel" export tiles -o "$prefix/x.mov" --size 16x16 --seconds 0.1 > /dev/null ||
  fail "installed tavel export"
rm -f "$prefix/x.mov"

# --help and the manual name the same commands and options.
rendered() { MANWIDTH=200 man -l "$1" 2> /dev/null | col -bx; }
options() { grep -oE '(^|[^[:alnum:]-])--?[a-z][a-z0-9-]*' | sed 's/^[^-]*//' | sort -u; }
help_commands() {  # the command lines of the help: "  word" or "  word, word"
  grep -E '^  [a-z]' | sed -E 's/^  ([a-z-]+)(, ([a-z-]+))?.*/\1 \3/' | tr ' ' '\n' | grep . | sort -u
}
man_commands() {  # the terms of the COMMANDS section
  sed -n '/^COMMANDS$/,/^[A-Z]/p' | grep -E '^ {7}[a-z]' |
    sed -E 's/^ +([a-z-]+)(, ([a-z-]+))?.*/\1 \3/' | tr ' ' '\n' | grep . | sort -u
}
compare() {  # compare WHAT HELP MANUAL
  diff <(echo "$2") <(echo "$3") > /dev/null || fail "$1 differ (< --help, > manual):
$(diff <(echo "$2") <(echo "$3"))"
}
help=$("$prefix/bin/tavel" --help)
manual=$(rendered "$share/man/man1/tavel.1")
compare "tavel commands" "$(help_commands <<< "$help")" "$(man_commands <<< "$manual")"
compare "tavel options" "$(options <<< "$help")" "$(options <<< "$manual")"
compare "halvane options" "$("$prefix/bin/halvane" --help | options)" \
  "$(rendered "$share/man/man1/halvane.1" | options)"

# Bash completion: valid bash that completes commands and effect ids.
completion="$share/bash-completion/completions/tavel"
bash -n "$completion" || fail "$completion is not valid bash"
complete_line() {  # complete_line WORDS...: what Tab offers for the last word
  PATH="$prefix/bin:$PATH" bash -c '. "$1"; shift; COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _tavel; echo "${COMPREPLY[*]}"' _ "$completion" "$@"
}
[ "$(complete_line tavel se)" = "set settings" ] || fail "tavel se completes to '$(complete_line tavel se)'"
first_id=$("$prefix/bin/tavel" list | head -1 | cut -f2)
[ "$(complete_line tavel set "$first_id")" = "$first_id" ] || fail "effect ids do not complete"
[ "$(complete_line tavel export x --s)" = "--size --seconds" ] || fail "export options do not complete"

[ "$failures" -eq 0 ] || exit 1
echo "install ok"
