#!/usr/bin/env bash
# Builds the benchmarks when needed and runs them, printing Zembra's time against gpg's as a
# ratio. Not part of the tests.
#
#   bench/run.sh [SIZE]      SIZE of the large file, e.g. 1G (default), 64M; or ZEMBRA_BENCH_SIZE
#   ZEMBRA_BENCH_KEYS=5000   keys in the ring of the key-list benchmark (made once, then cached
#                            in build/bench-cache/)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target bench_files bench_keys >/dev/null

size=${1:-${ZEMBRA_BENCH_SIZE:-1G}}
keys=${ZEMBRA_BENCH_KEYS:-5000}
ring="$build/bench-cache/ring-$keys"
work=$(mktemp -d "${TMPDIR:-/tmp}/zembra-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}
"$build/bin/bench_files" --size "$size" --files 200 --work "$work/files"

bench/keys/make_ring.sh "$ring" "$keys"
"$build/bin/bench_keys" --ring "$(cd "$ring" && pwd)"
