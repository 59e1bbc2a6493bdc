#!/usr/bin/env bash
# scripts/with-a11y-bus.sh COMMAND...: runs COMMAND as on a desktop with a
# screen reader: on a private X display (Xvfb, the first free display number),
# with a private D-Bus session bus and the accessibility bus of at-spi2-core
# (its bus launcher, which starts the bus and the registry). Qt programs
# started by COMMAND talk to that bus (QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1).
# Afterwards, whatever the outcome, stops by their PIDs the bus launcher and
# what it started, the session bus and what it started, and the display, and
# exits with COMMAND's status. Exits with 77 (a skip for ctest) when a piece
# is missing.
set -uo pipefail
launcher=/usr/libexec/at-spi-bus-launcher
for tool in Xvfb dbus-daemon dbus-send "$launcher"; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "skipped: $tool is missing (scripts/install-deps.sh installs it)" >&2
    exit 77
  fi
done

dir=$(mktemp -d /tmp/orvalis-a11y.XXXXXX)
xvfb_pid=""
bus_pid=""
launcher_pid=""

# The PIDs of a process's descendants, deepest first.
descendants() {
  local child
  for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do
    descendants "$child"
    echo "$child"
  done
}

# Stops a process and what it started, by their PIDs, and waits for them.
stop_tree() {
  local pid=$1 all p
  [[ -n "$pid" ]] || return 0
  all="$(descendants "$pid") $pid"
  for p in $all; do kill "$p" 2>/dev/null; done
  for _ in $(seq 50); do
    local alive=0
    for p in $all; do kill -0 "$p" 2>/dev/null && alive=1; done
    ((alive)) || break
    sleep 0.1
  done
  for p in $all; do kill -9 "$p" 2>/dev/null; done
  wait "$pid" 2>/dev/null
}

# The registry is started by the accessibility bus on demand and does not
# stay its child: asked for its PID by name, while the bus is still up.
registry_pid() {
  local address
  address=$(dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    2>/dev/null | sed -n 's/^ *string "\(.*\)"$/\1/p')
  [[ -n "$address" ]] || return 0
  dbus-send --bus="$address" --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:org.a11y.atspi.Registry 2>/dev/null |
    sed -n 's/^ *uint32 \([0-9]*\)$/\1/p'
}

stop_all() {
  if [[ -n "$launcher_pid" ]]; then
    local registry
    registry=$(registry_pid)
    [[ -z "$registry" ]] || stop_tree "$registry"
  fi
  stop_tree "$launcher_pid"
  stop_tree "$bus_pid"
  stop_tree "$xvfb_pid"
  rm -rf "$dir"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
  [[ -s "$dir/display" ]] && break
  kill -0 "$xvfb_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ ! -s "$dir/display" ]]; then
  echo "Xvfb did not start:" >&2
  cat "$dir/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(cat "$dir/display")"

# The session bus, not forked, so that its PID is ours to stop.
dbus-daemon --session --nofork --print-address=3 3>"$dir/bus" >"$dir/bus.log" 2>&1 &
bus_pid=$!
for _ in $(seq 100); do
  [[ -s "$dir/bus" ]] && break
  sleep 0.1
done
if [[ ! -s "$dir/bus" ]]; then
  echo "The session bus did not start:" >&2
  cat "$dir/bus.log" >&2
  exit 1
fi
DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$dir/bus")"
export DBUS_SESSION_BUS_ADDRESS
unset AT_SPI_BUS_ADDRESS

# The accessibility bus, up before anything asks for it (nothing is started
# twice by activation).
"$launcher" --launch-immediately >"$dir/launcher.log" 2>&1 &
launcher_pid=$!
has_owner() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q "boolean true"
}
for _ in $(seq 100); do
  has_owner org.a11y.Bus && break
  sleep 0.1
done
if ! has_owner org.a11y.Bus; then
  echo "The accessibility bus did not start:" >&2
  cat "$dir/launcher.log" >&2
  exit 1
fi

export QT_QPA_PLATFORM=xcb
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
export QT_ACCESSIBILITY=1
"$@"
