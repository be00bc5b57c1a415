#!/usr/bin/env bash
# Builds the library, the programs and the tests with AddressSanitizer, LeakSanitizer and
# UndefinedBehaviorSanitizer into build-asan/ and runs the whole suite there. Arguments go to
# ctest (e.g. -R Registry). Kept cheap for CI: -O1 with line tables only, no benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
werror=OFF
[ "${CI:-}" = "true" ] && werror=ON
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

# Test discovery runs the test programs during the build, so the options apply there too.
source tests/sanitizer/environment.sh

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Sanitize \
  -DCMAKE_CXX_FLAGS_SANITIZE="-O1 -g1" -DCMAKE_C_FLAGS_SANITIZE="-O1 -g1" \
  -DZEMBRA_SANITIZE=ON -DZEMBRA_BENCH=OFF -DZEMBRA_WERROR="$werror" "${launcher[@]}" >/dev/null
targets=()
for t in ${ZEMBRA_SANITIZE_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build build-asan -j "$(nproc)" "${targets[@]}"
cd build-asan
mkdir -p results
ctest --output-on-failure --timeout 900 --output-junit results/junit.xml "$@"
