#!/usr/bin/env bash
# scripts/with-pipewire.sh COMMAND...: runs COMMAND through pw-jack with a
# private PipeWire (pipewire and wireplumber, on a private D-Bus session bus)
# whose runtime folder is a new folder on a tmpfs (/dev/shm where it can be
# written, else /tmp: a Unix socket cannot be made on every file system, not
# on the ALSA VM's shared folders), and stops the three by their PIDs afterwards,
# whatever the outcome. Without sound cards PipeWire's graph is clocked by its
# dummy driver. JACK programs in COMMAND reach PipeWire through its JACK
# library; PIPEWIRE_QUANTUM, when set, gives their period ("256/48000").
set -uo pipefail
base=/dev/shm
[[ -d $base && -w $base ]] || base=/tmp
runtime=$(mktemp -d "$base/orvalis-pipewire.XXXXXX")
export XDG_RUNTIME_DIR=$runtime PIPEWIRE_RUNTIME_DIR=$runtime
export DBUS_SESSION_BUS_ADDRESS=unix:path=$runtime/bus
unset JACK_DEFAULT_SERVER
pids=()
stop_all() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  rm -rf "$runtime"
}
trap stop_all EXIT
trap 'exit 130' INT TERM
dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" >"$runtime/dbus.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [[ -S $runtime/bus ]] && break; sleep 0.1; done
pipewire >"$runtime/pipewire.log" 2>&1 &
pids=($! "${pids[@]}")
for _ in $(seq 50); do [[ -S $runtime/pipewire-0 ]] && break; sleep 0.1; done
wireplumber >"$runtime/wireplumber.log" 2>&1 &
pids=($! "${pids[@]}")
if ! timeout 20 bash -c 'until pw-jack jack_lsp >/dev/null 2>&1; do sleep 0.2; done'; then
  echo "PipeWire did not start:" >&2
  cat "$runtime"/*.log >&2
  exit 1
fi
# With an ALSA sequencer, PipeWire shows its ports to JACK programs through
# its bridge, "Midi-Bridge", which WirePlumber makes; where it did not (no
# udev, as in the ALSA VM), it is made here.
if [[ -e /dev/snd/seq ]] && ! timeout 3 bash -c 'until pw-jack jack_lsp 2>/dev/null | grep -q "^Midi-Bridge:"; do sleep 0.2; done'; then
  pw-cli create-node spa-node-factory \
    '{ factory.name=api.alsa.seq.bridge node.name=Midi-Bridge object.linger=true }' >/dev/null 2>&1
  timeout 10 bash -c 'until pw-jack jack_lsp 2>/dev/null | grep -q "^Midi-Bridge:"; do sleep 0.2; done'
fi
pw-jack "$@"
