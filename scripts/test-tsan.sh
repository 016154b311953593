#!/usr/bin/env bash
# ThreadSanitizer stage: builds only the suites that drive sessions on several
# threads or touch the state they share (port table, trace log, reference
# counter, the platforms' port tables), and runs them; any report fails the stage.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build-tsan}
suites=(test_threads test_threads_real test_session_trace test_link test_module test_service_rpc test_nvram test_platform_posix)

echo "== ThreadSanitizer build and the threaded suites"
start=$(date +%s)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEBD_WERROR=ON -DEBD_TSAN=ON \
  -DEBD_GUI=OFF -DEBD_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${suites[@]}"
for suite in "${suites[@]}"; do
  echo "-- $suite"
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$build/tests/$suite" --gtest_brief=1
done
echo "== ThreadSanitizer stage took $(( $(date +%s) - start )) s"
