#!/usr/bin/env bash
# scripts/with-jack.sh COMMAND...: runs COMMAND with a private JACK server
# (dummy driver, synchronous; no real-time scheduling unless
# ORVALIS_JACK_REALTIME=1) and
# stops that server by its PID afterwards, whatever the outcome. The server's
# name is exported as JACK_DEFAULT_SERVER.
set -uo pipefail
export JACK_NO_AUDIO_RESERVATION=1
export JACK_DEFAULT_SERVER="orvalis-test-$$"
log=$(mktemp /tmp/orvalis-jackd.XXXXXX)

# A JACK server or client that was killed can leave JACK's shared state
# behind: a full server registry ("Too many servers already active") or a
# metadata database whose lock is never released (a new server then hangs
# at start). With no server running, none of it is in use: start afresh.
jackd_running() {
  local comm
  for comm in /proc/[0-9]*/comm; do
    [[ "$(cat "$comm" 2>/dev/null)" == jackd ]] && return 0
  done
  return 1
}
if ! jackd_running; then
  rm -rf "/dev/shm/jack_db-$(id -u)" /dev/shm/jack-shm-registry "/dev/shm/jack-$(id -u)-"* \
    /dev/shm/jack_sem.* /dev/shm/jack_*_0_0
fi
# ORVALIS_JACK_REALTIME=1: the server and its clients' process threads run
# with real-time scheduling, as on a musician's machine (needs the right to).
scheduling=--no-realtime
if [[ ${ORVALIS_JACK_REALTIME:-0} == 1 ]]; then scheduling=--realtime; fi
# Synchronous (-S): each cycle ends when every client has run. In the default
# asynchronous mode, a client that runs late (sanitizer builds, two test
# processes on two cores) can read the graph while a connection is being made,
# and get events whose bytes were never written: garbage no test can tell from
# a fault of ours.
jackd -n "$JACK_DEFAULT_SERVER" "$scheduling" -S -d dummy -r 48000 -p 256 >"$log" 2>&1 &
jack_pid=$!
stop_jack() {
  if kill -0 "$jack_pid" 2>/dev/null; then
    kill "$jack_pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$jack_pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$jack_pid" 2>/dev/null
  fi
  wait "$jack_pid" 2>/dev/null
  rm -f "$log"
}
trap stop_jack EXIT
trap 'exit 130' INT TERM
if ! timeout 20 jack_wait -w -s "$JACK_DEFAULT_SERVER" >/dev/null 2>&1; then
  echo "The JACK server did not start:" >&2
  cat "$log" >&2
  exit 1
fi
"$@"
