#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer into build-fuzz/ and runs each one.
#
#   fuzz/run.sh [SECONDS] [TARGET...]   SECONDS per target (default 300), all targets by default
#
# New inputs go to build-fuzz/corpus/<target>/ (the seeds in fuzz/corpus/ stay as they are);
# an input that breaks a target is kept in build-fuzz/artifacts/ and the run fails. Prints, per
# target, its executions, coverage and speed, and keeps them in build-fuzz/results/ for
# scripts/reliability-report.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
shift || true
out=build-fuzz
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CXX=clang++ cmake -S fuzz -B "$out" -DCMAKE_BUILD_TYPE=None "${launcher[@]}" >/dev/null
cmake --build "$out" -j "$(nproc)" >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for t in "$out"/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi
mkdir -p "$out/artifacts" "$out/results"
failed=0
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  mkdir -p "$out/corpus/$name"
  log="$out/results/$target.log"
  status=held
  if ! "$out/$target" "$out/corpus/$name" "fuzz/corpus/$name" -max_total_time="$seconds" \
      -max_len=65536 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$out/artifacts/$target-" >"$log" 2>&1; then
    status=broken
    failed=1
    grep -E "ERROR|property broken|Test unit written" "$log" || tail -20 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
  ft=$(grep -oE 'ft: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
  corpus=$(find "$out/corpus/$name" "fuzz/corpus/$name" -type f | wc -l)
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$target" "${runs:-0}" "$seconds" "${cov:-0}" \
    "${ft:-0}" "${speed:-0}" "$corpus" "$status" >"$out/results/$target.tsv"
  printf '%-18s %10s executions in %ss, coverage %s edges (%s features), %s exec/s, %s inputs: %s\n' \
    "$target" "${runs:-0}" "$seconds" "${cov:-0}" "${ft:-0}" "${speed:-0}" "$corpus" "$status"
done
exit $failed
