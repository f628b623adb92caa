#!/usr/bin/env bash
# make fuzz: installs clang and its sanitizer runtimes when missing, builds
# the fuzzers of the two readers and of the panel.cfg edits natively and runs
# each for SECONDS (default 90), seeded from the tests' files. Prints each
# fuzzer's executions and what it found; exits 1 when a fuzzer found a fault
# (its input is kept in the build folder as crash-*, leak-* or timeout-*).
#   tests/fuzz/run.sh BUILD_DIR [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(realpath -m "${1:?usage: run.sh BUILD_DIR [SECONDS]}")
seconds=${2:-90}

"$root/cmake/setup.sh" --packages clang-14 libclang-rt-14-dev cmake make

cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -- --no-print-directory -s

# Seeds: the shipped scenarios and example panel, and the tests' own cases.
seed() {
  local corpus=$1
  shift
  mkdir -p "$corpus"
  local file
  for file in "$@"; do [ -f "$file" ] && cp "$file" "$corpus/seed-$(basename "$(dirname "$file")")-$(basename "$file")"; done
  return 0
}
seed "$build/corpus/scenario_reader" "$root"/scenarios/*.txt "$here"/seeds/*.txt
seed "$build/corpus/panel_config" "$root"/examples/*/panel.cfg "$here"/seeds/*.cfg
seed "$build/corpus/panel_edit" "$root"/examples/*/panel.cfg "$here"/seeds/*.cfg

# The edit fuzzer's texts are panel.cfg files: it shares the reader's words.
declare -A dicts=([scenario_reader]=scenario_reader.dict [panel_config]=panel_config.dict [panel_edit]=panel_config.dict)
status=0
for reader in scenario_reader panel_config panel_edit; do
  log=$build/$reader.log
  echo "fuzz: $reader for ${seconds}s"
  if (cd "$build" && "./fuzz_$reader" -max_total_time="$seconds" -print_final_stats=1 -dict="$here/${dicts[$reader]}" \
    -max_len=4096 -timeout=10 -rss_limit_mb=2048 "corpus/$reader" >"$log" 2>&1); then
    found="nothing"
  else
    found="a fault (see $log)"
    status=1
  fi
  runs=$(grep -m1 'stat::number_of_executed_units' "$log" | awk '{print $2}')
  echo "fuzz: $reader: ${runs:-?} executions, corpus $(ls "$build/corpus/$reader" | wc -l) inputs, found $found"
done
exit $status
