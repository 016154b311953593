#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) and runs each one
# over its seed corpus. Usage:
#   scripts/fuzz.sh                 a short fixed run of each target (what CI does)
#   scripts/fuzz.sh 600             each target for 600 seconds, growing the corpus
#   scripts/fuzz.sh 600 fuzz_link   one target only
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-}
only=${2:-}
targets=(fuzz_link fuzz_skip fuzz_detect fuzz_version fuzz_confirms fuzz_catalogue fuzz_journal)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DEBD_FUZZ=ON -DEBD_TESTS=OFF -DEBD_GUI=OFF -DEBD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

for t in "${targets[@]}"; do
  [ -n "$only" ] && [ "$t" != "$only" ] && continue
  corpus=fuzz/corpus/$t
  mkdir -p "$corpus"
  if [ -n "$seconds" ]; then
    echo "== $t for ${seconds}s"
    ./build-fuzz/fuzz/$t -max_len=2048 -max_total_time="$seconds" -print_final_stats=1 "$corpus"
  else
    echo "== $t: seeds and 20000 further runs"
    # A scratch copy of the corpus, so that a short run leaves the tree as it was.
    scratch=$(mktemp -d)
    cp -r "$corpus"/. "$scratch"/
    log=$scratch.log
    status=0
    ./build-fuzz/fuzz/$t -max_len=2048 -runs=20000 -print_final_stats=1 "$scratch" >"$log" 2>&1 || status=$?
    grep -E '^(Done|stat::number_of_executed_units)' "$log" || true
    rm -rf "$scratch"
    if [ "$status" -ne 0 ]; then
      tail -60 "$log"
      echo "$t failed"
      exit 1
    fi
    rm -f "$log"
  fi
done
