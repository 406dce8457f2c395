# Sourced by the application benchmarks: a private Xvfb of $1 (WxH) (or with
# SESSION_KIND=wayland a headless sway with one output of that size), a session bus that
# also stands in for the system bus, a fresh configuration folder with $2 as the stored
# settings, and cleanup of everything (and of "$app", when set) at exit.
# Sets $work, $DISPLAY (or $WAYLAND_DISPLAY), $DBUS_SESSION_BUS_ADDRESS and $XDG_CONFIG_HOME.
work=$(mktemp -d)
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  [ -n "${bus:-}" ] && kill "$bus" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if [ "${SESSION_KIND:-x11}" = wayland ]; then
  # A headless sway with one output of that size; as root it runs as "nobody", with a
  # runtime folder of its own. Tavel then sees the compositor and no X display.
  runtime=$work/runtime
  mkdir -m 0700 "$runtime"
  printf 'output * mode %s\ndefault_border none\n' "$1" > "$work/sway.conf"
  run_as=()
  if [ "$(id -u)" = 0 ]; then
    chown nobody "$runtime"
    chmod a+rx "$work"
    chmod a+r "$work/sway.conf"
    run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  env XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless WLR_RENDERER=pixman \
    WLR_LIBINPUT_NO_DEVICES=1 "${run_as[@]}" sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -S "$runtime/wayland-1" ] && break; sleep 0.1; done
  export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=wayland-1
  unset DISPLAY
else
  exec 3>"$work/display"
  Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "${1}x24" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -1 "$work/display")"
  unset WAYLAND_DISPLAY
fi
env -u XDG_RUNTIME_DIR dbus-daemon --session --nofork --print-address=4 4>"$work/bus" &
bus=$!
for _ in $(seq 100); do [ -s "$work/bus" ] && break; sleep 0.1; done
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus")
export DBUS_SYSTEM_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME/io.tavel.Tavel"
printf '%s' "$2" > "$XDG_CONFIG_HOME/io.tavel.Tavel/marlowen.settings.v2"

hz=$(getconf CLK_TCK)
cpu_ticks() { awk '{print $14 + $15}' "/proc/$app/stat"; }
switches() { cat /proc/$app/task/*/status | awk '/ctxt_switches/ {s += $2} END {print s}'; }
# Starts "$tavel" with the given arguments and waits until it answers.
start_tavel() {
  "$tavel" "$@" >"$work/app.log" 2>&1 &
  app=$!
  for _ in $(seq 100); do "$tavel" status >/dev/null 2>&1 && break; sleep 0.2; done
}
