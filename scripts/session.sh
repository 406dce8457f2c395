# Sourced by the application benchmarks: a private Xvfb of $1 (WxH), a session bus that
# also stands in for the system bus, a fresh configuration folder with $2 as the stored
# settings, and cleanup of everything (and of "$app", when set) at exit.
# Sets $work, $DISPLAY, $DBUS_SESSION_BUS_ADDRESS and $XDG_CONFIG_HOME.
work=$(mktemp -d)
cleanup() {
  [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
  [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
  [ -n "${bus:-}" ] && kill "$bus" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

exec 3>"$work/display"
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 "${1}x24" 2>/dev/null &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
dbus-daemon --session --nofork --print-address=4 4>"$work/bus" &
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
