#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and runs
# the whole test suite; then the same suite again under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the threaded suites under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)

echo "== build (warnings as errors)"
cmake -S . -B build-ci -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEBD_WERROR=ON
cmake --build build-ci -j"$jobs"
echo "== tests"
(cd build-ci && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --timeout 600)
bash scripts/test-python.sh build-ci
bash scripts/test-install.sh build-ci
EBD_HOST_BUILD=build-ci bash scripts/test-windows.sh
EBD_HOST_BUILD=build-ci EBD_WINDOWS_ARCH=x86 bash scripts/test-windows.sh
echo "== release reproducibility (every artifact: two whole release builds, about 3.5 minutes)"
EBD_RELEASE_FULL=1 bash scripts/test-release.sh

echo "== sanitizer build (ASan + UBSan)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DEBD_WERROR=ON -DEBD_SANITIZE=ON -DEBD_BENCH=OFF \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build build-asan -j"$jobs"
echo "== tests under sanitizers"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" --timeout 900)

bash scripts/test-tsan.sh build-tsan

echo "== fuzz targets, short fixed runs"
bash scripts/fuzz.sh
