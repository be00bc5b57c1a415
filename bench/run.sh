#!/usr/bin/env bash
# Builds the benchmarks when needed and runs them: every line shows gpg, the floor (a bare
# GPGME or Qt program of the bench's own doing the same work) and Zembra, each as the median
# [min-max] of alternating rounds, wall and CPU time, with the ratios Zembra/gpg and Zembra/floor.
# Not part of the tests. bench/README.md says what each floor means.
#
#   bench/run.sh [SIZE]       SIZE of the large file, e.g. 1G (default), 64M; or ZEMBRA_BENCH_SIZE
#   ZEMBRA_BENCH_ROUNDS=3     rounds of each benchmark (the start-up takes 7 unless told)
#   ZEMBRA_BENCH_FILES=200    files in each job of the files benchmark (fewer for a quick run)
#   ZEMBRA_BENCH_KEYS=5000    keys in the ring of the key-list benchmark (made once, then cached
#                             in build/bench-cache/)
#   ZEMBRA_BENCH_ONLY=files   one benchmark only: files, startup, keys or stall
#   ZEMBRA_BENCH_IMPORT_KEYS=1000  keys in the file the stall benchmark imports (its ring is
#                             cached as the key list's is)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target bench_files bench_floor bench_startup bench_keys \
  bench_stall >/dev/null

size=${1:-${ZEMBRA_BENCH_SIZE:-1G}}
keys=${ZEMBRA_BENCH_KEYS:-5000}
files=${ZEMBRA_BENCH_FILES:-200}
only=${ZEMBRA_BENCH_ONLY:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/zembra-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}
echo "load before the run: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

if [ -z "$only" ] || [ "$only" = files ]; then
  "$build/bin/bench_files" --size "$size" --files "$files" --work "$work/files"
  echo
fi
if [ -z "$only" ] || [ "$only" = startup ]; then
  bench/keys/make_ring.sh "$build/bench-cache/ring-10" 10
  "$build/bin/bench_startup" --ring "$(cd "$build/bench-cache/ring-10" && pwd)"
  echo
fi
if [ -z "$only" ] || [ "$only" = keys ]; then
  bench/keys/make_ring.sh "$build/bench-cache/ring-$keys" "$keys"
  "$build/bin/bench_keys" --ring "$(cd "$build/bench-cache/ring-$keys" && pwd)"
  echo
fi
if [ -z "$only" ] || [ "$only" = stall ]; then
  importKeys=${ZEMBRA_BENCH_IMPORT_KEYS:-1000}
  bench/keys/make_ring.sh "$build/bench-cache/ring-$importKeys" "$importKeys"
  "$build/bin/bench_stall" --size "$size" --files 200 --work "$work/stall" \
    --ring "$(cd "$build/bench-cache/ring-$importKeys" && pwd)"
fi
echo "load after the run: $(cut -d' ' -f1-3 /proc/loadavg)"
