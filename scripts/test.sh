#!/usr/bin/env bash
# Installs what is missing, builds Orvalis three times (plain, AddressSanitizer +
# UndefinedBehaviorSanitizer, ThreadSanitizer for the MIDI layer), runs the
# fuzz targets for about a minute, starts a JACK server with the dummy driver,
# runs the whole suite on each build, installs and tries the Debian package
# built from the plain tree, and stops the server again. Then runs the ALSA
# tests of the three builds in a small VM with a real ALSA sequencer
# (scripts/with-alsa-vm.sh). Fails if any step fails, after running all of them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
mkdir -p out
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"

echo "== build: plain"
bash scripts/build.sh out/build -DCMAKE_INSTALL_PREFIX=/usr
echo "== build: address and undefined behaviour sanitizers"
bash scripts/build.sh out/build-asan -DORVALIS_SANITIZE=address -DORVALIS_BUILD_BENCH=OFF
echo "== build: thread sanitizer (MIDI layer)"
bash scripts/build.sh out/build-tsan -DORVALIS_SANITIZE=thread

run_suite() {
  local status=0
  echo "== tests: plain"
  ctest --test-dir out/build --output-on-failure -j2 || status=1
  echo "== tests: address and undefined behaviour sanitizers"
  ctest --test-dir out/build-asan --output-on-failure -j2 || status=1
  echo "== tests: thread sanitizer"
  ctest --test-dir out/build-tsan --output-on-failure -j2 || status=1
  return $status
}
status=0
echo "== fuzzing (clang, libFuzzer, address and undefined behaviour sanitizers)"
bash scripts/fuzz.sh || status=1
run_with_jack() {
  local status=0
  run_suite || status=1
  echo "== Debian package"
  bash scripts/package-test.sh out/build || status=1
  return $status
}
bash scripts/with-jack.sh bash -c "$(declare -f run_suite run_with_jack); run_with_jack" || status=1

# On the host the ALSA tests skip (no sequencer); in the VM they run, on the
# plain, the address-sanitizer and the thread-sanitizer trees (the last has
# the MIDI layer's only).
run_alsa_suite() {
  local status=0 tree
  for tree in out/build out/build-asan out/build-tsan; do
    echo "== tests: ALSA ($tree)"
    ctest --test-dir "$tree" -L alsa --output-on-failure || status=1
  done
  return $status
}
echo "== ALSA tests in a VM with a real ALSA sequencer"
bash scripts/with-alsa-vm.sh bash -c "$(declare -f run_alsa_suite); run_alsa_suite" || status=1
exit $status
