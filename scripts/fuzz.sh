#!/usr/bin/env bash
# scripts/fuzz.sh [seconds-per-target]: builds the libFuzzer targets with clang
# in out/build-fuzz and runs each for a bounded time (default 20 s; the SysEx
# file reader's half of it) on a copy of its seed corpus
# (fuzz/corpus/<target>), so that nothing new is written into the repository.
# Prints one line per target; fails on any crash, leak, timeout or sanitizer
# report, and then shows that target's log.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
targets=(fuzz_ini fuzz_hex_text fuzz_midi_input fuzz_sysex_file)

mkdir -p out
CC=clang CXX=clang++ bash scripts/build.sh out/build-fuzz -DORVALIS_BUILD_FUZZERS=ON

base=/dev/shm
[ -d "$base" ] && [ -w "$base" ] || base=${TMPDIR:-/tmp}
work=$(mktemp -d "$base/orvalis-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

export QT_QPA_PLATFORM=offscreen
export ORVALIS_FUZZ_TMPDIR="$work"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:symbolize=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"

status=0
for target in "${targets[@]}"; do
  corpus="$work/corpus-$target"
  artifacts="$work/artifacts-$target"
  mkdir -p "$corpus" "$artifacts"
  cp fuzz/corpus/"$target"/* "$corpus"/
  log="$work/$target.log"
  # The file reader's target has less to explore: half the time.
  time=$seconds
  [[ $target == fuzz_sysex_file ]] && time=$(((seconds + 1) / 2))
  if out/build-fuzz/fuzz/"$target" -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    printf '%-16s ok      %s runs, %s exec/s\n' "$target" "${runs:-?}" "${rate:-?}"
  else
    status=1
    printf '%-16s FAILED  (log below)\n' "$target"
    tail -n 60 "$log"
    for input in "$artifacts"/*; do
      [ -e "$input" ] || continue
      kept="out/fuzz-failures/$target-$(basename "$input")"
      mkdir -p out/fuzz-failures
      cp "$input" "$kept"
      echo "failing input kept as $kept"
    done
  fi
done
exit $status
