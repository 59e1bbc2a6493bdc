#!/usr/bin/env bash
# Installs what is missing, builds Orvalis three times (plain, AddressSanitizer +
# UndefinedBehaviorSanitizer, ThreadSanitizer for the MIDI layer), runs the
# fuzz targets for about a minute, starts a JACK server with the dummy driver,
# runs the whole suite on each build, installs and tries the Debian package
# built from the plain tree, and stops the server again. Then runs the JACK
# tests (those named "Jack") of the plain and ThreadSanitizer builds once
# more on a private PipeWire through its JACK library (scripts/with-pipewire.sh),
# and the ALSA tests of the three builds in a small VM with a real ALSA
# sequencer (scripts/with-alsa-vm.sh). Fails if any step fails, after running
# all of them. Says how long each phase took, and the total last. A test
# program that crashes prints a backtrace of all its threads into the test
# output (tests/support/CrashBacktrace.h; the sanitizers' trees keep their own
# reports).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
phase_start=$SECONDS
phase_times=()
# phase NAME: ends the phase under way (its time is noted) and names the next.
phase() {
  if [[ -n ${phase_name:-} ]]; then phase_times+=("$(printf '%6ds  %s' $((SECONDS - phase_start)) "$phase_name")"); fi
  phase_name=$1
  phase_start=$SECONDS
  [[ -n $1 ]] && echo "== $1"
  return 0
}
phase "install what is missing"
bash scripts/install-deps.sh --tests
mkdir -p out
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"

phase "build: plain"
bash scripts/build.sh out/build -DCMAKE_INSTALL_PREFIX=/usr
phase "build: address and undefined behaviour sanitizers"
bash scripts/build.sh out/build-asan -DORVALIS_SANITIZE=address -DORVALIS_BUILD_BENCH=OFF
phase "build: thread sanitizer (MIDI layer)"
bash scripts/build.sh out/build-tsan -DORVALIS_SANITIZE=thread

status=0
phase "fuzzing (clang, libFuzzer, address and undefined behaviour sanitizers)"
bash scripts/fuzz.sh || status=1

# Each phase that needs a server starts its own and stops it by its PID.
phase "tests on jackd2: plain"
bash scripts/with-jack.sh ctest --test-dir out/build --output-on-failure -j2 || status=1
phase "tests on jackd2: address and undefined behaviour sanitizers"
bash scripts/with-jack.sh ctest --test-dir out/build-asan --output-on-failure -j2 || status=1
phase "tests on jackd2: thread sanitizer"
bash scripts/with-jack.sh ctest --test-dir out/build-tsan --output-on-failure -j2 || status=1
phase "Debian package"
bash scripts/with-jack.sh bash scripts/package-test.sh out/build || status=1

# The same program on PipeWire's JACK library, with PipeWire's own period.
# PipeWire's library (0.3.65) now and then crashes in its own threads while a
# test closes a client (jack_client_close; the backtrace shows it): a test
# that fails runs once more, and both outputs stay in the log.
for tree in out/build out/build-tsan; do
  phase "JACK tests on PipeWire ($tree)"
  bash scripts/with-pipewire.sh ctest --test-dir "$tree" -R Jack --output-on-failure -j2 --repeat until-pass:2 || status=1
done

# On the host the ALSA tests skip (no sequencer); in the VM they run, on the
# plain, the address-sanitizer and the thread-sanitizer trees (the last has
# the MIDI layer's only), then those that need PipeWire beside the sequencer.
run_alsa_suite() {
  local status=0 tree
  for tree in out/build out/build-asan out/build-tsan; do
    echo "== tests: ALSA ($tree)"
    ctest --test-dir "$tree" -L alsa --output-on-failure || status=1
  done
  # With PipeWire running too, as on a desktop: its bridge of the sequencer.
  echo "== tests: ALSA with PipeWire (out/build)"
  bash scripts/with-pipewire.sh ctest --test-dir out/build -L alsa -R PipeWire --output-on-failure || status=1
  return $status
}
phase "ALSA tests in a VM with a real ALSA sequencer"
bash scripts/with-alsa-vm.sh bash -c "$(declare -f run_alsa_suite); run_alsa_suite" || status=1
phase ""
echo "== time by phase"
printf '%s\n' "${phase_times[@]}"
printf '%6ds  total\n' $((SECONDS - started))
exit $status
