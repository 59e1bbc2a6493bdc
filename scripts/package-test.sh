#!/usr/bin/env bash
# scripts/package-test.sh BUILD_DIR: builds the Debian package from BUILD_DIR
# (configured with -DCMAKE_INSTALL_PREFIX=/usr), installs it, checks the files
# it puts in place, tries orvalis-linktest (help, manual page, a run through
# the loopback), then starts the installed program twice for a fresh user
# and checks that it starts silently, opens the first devices, remembers the
# devices chosen in ~/.config/orvalis/orvalis.ini and closes cleanly on
# SIGTERM. Needs root and a running JACK server (scripts/with-jack.sh). The
# package is removed again unless it was installed before.
set -euo pipefail
build=$(cd "$1" && pwd)
fail() { echo "package test: $*" >&2; exit 1; }
((EUID == 0)) || fail "installing the package needs root"

(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log"; fail "cpack failed"; }
deb=$(ls "$build"/orvalis_*_amd64.deb | head -n1)

was_installed=0
dpkg-query -W -f='${Status}' orvalis 2>/dev/null | grep -q "install ok installed" && was_installed=1
work=$(mktemp -d /tmp/orvalis-package-test.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  ((was_installed)) || dpkg -r orvalis >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

dpkg -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
for f in /usr/bin/orvalis /usr/share/applications/orvalis.desktop \
         /usr/share/icons/hicolor/scalable/apps/orvalis.svg \
         /usr/share/icons/hicolor/48x48/apps/orvalis.png; do
  [[ -e $f ]] || fail "$f is not installed"
done
desktop-file-validate /usr/share/applications/orvalis.desktop || fail "invalid desktop entry"
dpkg -L orvalis | grep -q '^/usr/bin/orvalis$' || fail "the package does not own /usr/bin/orvalis"

# The command line beside it, with its manual page, and no display needed.
[[ -x /usr/bin/orvalis-linktest ]] || fail "/usr/bin/orvalis-linktest is not installed"
[[ -f /usr/share/man/man1/orvalis-linktest.1.gz ]] || fail "the manual page of orvalis-linktest is not installed"
if command -v man >/dev/null; then
  man -w orvalis-linktest >/dev/null 2>&1 || fail "man does not find orvalis-linktest"
fi
env -u DISPLAY -u WAYLAND_DISPLAY orvalis-linktest --help | grep -q '^Usage: orvalis-linktest' \
  || fail "orvalis-linktest --help says no usage"
env -u DISPLAY -u WAYLAND_DISPLAY orvalis-linktest --out "Orvalis Loopback" --in "Orvalis Loopback" --count 100 \
  --rate 1000 >"$work/linktest.log" 2>&1 || { cat "$work/linktest.log"; fail "orvalis-linktest through the loopback failed"; }

# A JACK MIDI input stands for a synthesizer: it is the first output device.
jack_midi_dump >"$work/monitor.log" 2>&1 &
pids+=($!)
device="midi-monitor:input"
for _ in $(seq 100); do jack_lsp 2>/dev/null | grep -qx "$device" && break; sleep 0.1; done
jack_lsp 2>/dev/null | grep -qx "$device" || fail "the JACK test device did not appear"

export HOME="$work/home"
mkdir -p "$HOME"
unset XDG_CONFIG_HOME
export QT_QPA_PLATFORM=offscreen
ini="$HOME/.config/orvalis/orvalis.ini"

connected_to_device() { jack_lsp -c "$device" 2>/dev/null | grep -Eq '^ +Orvalis(-[0-9]+)?:'; }

# run_program EXPECT_CONNECTED: 1 if the program must connect to the device, else 0
run_program() {
  local expect=$1
  (cd / && exec orvalis) >"$work/out.log" 2>"$work/err.log" &
  local pid=$!
  pids+=("$pid")
  local connected=0
  for _ in $(seq 100); do
    if connected_to_device; then connected=1; break; fi
    kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
  [[ $connected == "$expect" ]] || fail "connection to $device: $connected, expected $expect"
  kill -TERM "$pid"
  local status=0
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && { kill -KILL "$pid"; fail "the program did not end within 10 s of SIGTERM"; }
  wait "$pid" || status=$?
  ((status == 0)) || fail "the program ended with status $status after SIGTERM"
  [[ ! -s $work/out.log && ! -s $work/err.log ]] || { cat "$work/out.log" "$work/err.log"; fail "the program printed something"; }
}

# First start of a fresh user: the first devices are opened and remembered.
run_program 1
[[ -f $ini ]] || fail "no preferences in $ini"
grep -qx "MidiOutDevName=$device (JACK)" "$ini" || fail "the output device was not remembered"
[[ ! -e /usr/bin/orvalis.ini ]] || fail "preferences were written beside the installed program"

# The user's choice of another device is remembered across a restart.
sed -i "s/^MidiOutDevName=.*/MidiOutDevName=Orvalis Loopback/" "$ini"
run_program 0
grep -qx "MidiOutDevName=Orvalis Loopback" "$ini" || fail "the chosen output device was lost"
echo "package test: $(basename "$deb") installs, starts, remembers its devices in ~/.config/orvalis"
